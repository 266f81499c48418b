#include "forms/ResourceStream.h"

#include <QFile>
#include <gtest/gtest.h>

// The program's own resources come with its library; the workbench window registers them, a
// test that reads them without one does it here.
static void RegisterJingle()
{
    Q_INIT_RESOURCE(jingle);
}

namespace {

TEST(ResourceStreamTest, ReadsAResourceFoundByNameAndTypeNameAndCannotChangeIt)
{
    RegisterJingle();
    TResourceStream resource(QStringLiteral("piano"), QStringLiteral("RT_RCDATA"));
    QFile file(QStringLiteral(":/RT_RCDATA/piano"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(resource.Size(), bytes.size());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(resource.Memory()), resource.Size()), bytes);

    char head[4] = {};
    EXPECT_EQ(resource.Read(head, 4), 4);
    EXPECT_EQ(QByteArray(head, 4), "RIFF");
    EXPECT_EQ(resource.Seek(-4, TSeekOrigin::End), resource.Size() - 4);
    char tail[8] = {};
    EXPECT_EQ(resource.Read(tail, 8), 4) << "reads stop at the end";
    EXPECT_EQ(QByteArray(tail, 4), bytes.right(4));
    EXPECT_EQ(resource.Read(tail, 8), 0);
    resource.SetPosition(-3);
    EXPECT_EQ(resource.Read(tail, 8), 0) << "nothing before the start";

    EXPECT_THROW(resource.Write(head, 1), EStreamError);
    EXPECT_THROW(resource.SetSize(0), EStreamError);
    EXPECT_EQ(resource.Size(), bytes.size());
}

TEST(ResourceStreamTest, AMissingResourceIsReportedByName)
{
    RegisterJingle();
    const auto message = [](const QString& name, const QString& type) -> std::string {
        try {
            TResourceStream resource(name, type);
        } catch (const EResNotFound& e) {
            return e.Message();
        }
        return "found";
    };
    EXPECT_EQ(message(QStringLiteral("trumpet"), QStringLiteral("RT_RCDATA")), "Resource trumpet not found");
    EXPECT_EQ(message(QStringLiteral("piano"), QStringLiteral("WAVE")), "Resource piano not found")
        << "the type is part of what is looked for";
    EXPECT_EQ(message(QString(), QStringLiteral("RT_RCDATA")), "Resource  not found") << "a folder is no resource";
}

}  // namespace
