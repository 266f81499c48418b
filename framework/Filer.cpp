#include "framework/Filer.h"

#include "framework/Component.h"

#include <QMap>
#include <QRegularExpression>
#include <optional>
#include <vector>

namespace {

constexpr int BytesPerLine = 32;

QString ClassName(const TComponent& component) { return QString::fromLatin1(component.metaObject()->className()); }

class TPropertyWriter : public TFiler {
public:
    QByteArray Text;

    void DefineInteger(const QString& name, const std::function<int64_t()>& get, const std::function<void(int64_t)>&,
                       bool hasData) override
    {
        if (hasData)
            Line(name, QByteArray::number(qlonglong(get())));
    }
    void DefineBoolean(const QString& name, const std::function<bool()>& get, const std::function<void(bool)>&,
                       bool hasData) override
    {
        if (hasData)
            Line(name, get() ? "True" : "False");
    }
    void DefineBinaryProperty(const QString& name, const std::function<void(TStream&)>&,
                              const std::function<void(TStream&)>& writeData, bool hasData) override
    {
        if (!hasData)
            return;
        TMemoryStream data;
        writeData(data);
        const QByteArray hex =
            QByteArray::fromRawData(reinterpret_cast<const char*>(data.Memory()), int(data.Size())).toHex().toUpper();
        QByteArray value = "{";
        for (int i = 0; i < hex.size(); i += 2 * BytesPerLine)
            value += "\n    " + hex.mid(i, 2 * BytesPerLine);
        Line(name, value + "}");
    }

private:
    void Line(const QString& name, const QByteArray& value) { Text += "  " + name.toLatin1() + " = " + value + "\n"; }
};

class TPropertyReader : public TFiler {
public:
    TPropertyReader(const QString& componentName, QMap<QString, QString> values)
        : FComponentName(componentName), FValues(std::move(values))
    {
    }

    void DefineInteger(const QString& name, const std::function<int64_t()>&, const std::function<void(int64_t)>& set,
                       bool) override
    {
        if (const std::optional<QString> raw = Take(name)) {
            bool ok = false;
            const qlonglong v = raw->toLongLong(&ok);
            if (!ok)
                Fail(name, QStringLiteral("Invalid integer value"));
            FApply.push_back([set, v] { set(v); });
        }
    }
    void DefineBoolean(const QString& name, const std::function<bool()>&, const std::function<void(bool)>& set,
                       bool) override
    {
        if (const std::optional<QString> raw = Take(name)) {
            if (*raw != QLatin1String("True") && *raw != QLatin1String("False"))
                Fail(name, QStringLiteral("Invalid boolean value"));
            const bool v = *raw == QLatin1String("True");
            FApply.push_back([set, v] { set(v); });
        }
    }
    void DefineBinaryProperty(const QString& name, const std::function<void(TStream&)>& readData,
                              const std::function<void(TStream&)>&, bool) override
    {
        if (const std::optional<QString> raw = Take(name)) {
            static const QRegularExpression hexBlock(QStringLiteral("^\\{((?:[0-9A-Fa-f]{2})*)\\}$"));
            const QRegularExpressionMatch m = hexBlock.match(*raw);
            if (!m.hasMatch())
                Fail(name, QStringLiteral("Invalid binary value"));
            const QByteArray bytes = QByteArray::fromHex(m.captured(1).toLatin1());
            FApply.push_back([readData, bytes] {
                TMemoryStream data;
                data.WriteBuffer(bytes.constData(), bytes.size());
                data.SetPosition(0);
                readData(data);
            });
        }
    }

    // Sets the properties once every one named in the text is known to the component.
    void Apply()
    {
        if (!FValues.isEmpty())
            Fail(FValues.firstKey(), QStringLiteral("Property %1 does not exist").arg(FValues.firstKey()));
        for (const auto& apply : FApply)
            apply();
    }

private:
    std::optional<QString> Take(const QString& name)
    {
        auto it = FValues.find(name);
        if (it == FValues.end())
            return std::nullopt;
        QString raw = it.value();
        FValues.erase(it);
        return raw;
    }
    [[noreturn]] void Fail(const QString& property, const QString& why) const
    {
        throw EFilerError(QStringLiteral("Error reading %1.%2: %3").arg(FComponentName, property, why));
    }

    QString FComponentName;
    QMap<QString, QString> FValues;
    std::vector<std::function<void()>> FApply;
};

[[noreturn]] void Malformed(int line)
{
    throw EFilerError(QStringLiteral("Invalid stored properties (line %1)").arg(line));
}

}

QByteArray WriteComponentProperties(TComponent& component)
{
    TPropertyWriter writer;
    component.DefineProperties(writer);
    return "object " + component.Name().toLatin1() + ": " + ClassName(component).toLatin1() + "\n" + writer.Text +
           "end\n";
}

void ReadComponentProperties(TComponent& component, const QByteArray& text)
{
    const QStringList lines = QString::fromLatin1(text).split(QLatin1Char('\n'));
    static const QRegularExpression header(QStringLiteral("^object\\s+(\\w*)\\s*:\\s*(\\w+)$"));
    static const QRegularExpression property(QStringLiteral("^(\\w+)\\s*=\\s*(.*)$"));

    int i = 0;
    auto next = [&]() -> QString {
        while (i < lines.size()) {
            const QString line = lines[i++].trimmed();
            if (!line.isEmpty())
                return line;
        }
        Malformed(i);
    };

    const QRegularExpressionMatch head = header.match(next());
    if (!head.hasMatch() || head.captured(2) != ClassName(component))
        Malformed(i);
    QMap<QString, QString> values;
    for (QString line = next(); line != QLatin1String("end"); line = next()) {
        const QRegularExpressionMatch m = property.match(line);
        if (!m.hasMatch())
            Malformed(i);
        QString value = m.captured(2);
        // A binary value runs over the following lines up to its closing brace.
        if (value.startsWith(QLatin1Char('{')))
            while (!value.endsWith(QLatin1Char('}')))
                value += next();
        values.insert(m.captured(1), value);
    }

    const QString name = component.Name().isEmpty() ? head.captured(1) : component.Name();
    TPropertyReader reader(name, std::move(values));
    component.DefineProperties(reader);
    reader.Apply();
    if (component.Name().isEmpty())
        component.SetName(head.captured(1));
}
