#include "framework/ReplacingFile.h"

#include "framework/Exception.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
EFCreateError CreateError(const QString& fileName, const QString& reason)
{
    return EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, reason));
}

// A new, empty file beside target, made by this call alone.
QString CreateTemporary(const QString& target, const QString& fileName)
{
    const QFileInfo info(target);
    constexpr int attempts = 100;
    for (int attempt = 1;; ++attempt) {
        const QString name = QStringLiteral("%1/.%2.%3.tmp")
                                 .arg(info.absolutePath(), info.fileName())
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return name;
        if (!QFileInfo::exists(name) || attempt == attempts)
            throw CreateError(fileName, file.errorString());
    }
}
}

TReplacingFile::TReplacingFile(const QString& fileName) : FFileName(fileName)
{
    if (fileName.isEmpty())
        throw CreateError(fileName, QStringLiteral("No file name specified"));
    const QFileInfo given(fileName);
    if (given.exists())
        FTarget = given.canonicalFilePath();
    else if (given.isSymLink())
        FTarget = given.symLinkTarget();
    else
        FTarget = given.absoluteFilePath();

    // What could not be written in place is not replaced either.
    QFile existing(FTarget);
    const bool exists = existing.exists();
    if (exists && !existing.open(QIODevice::WriteOnly | QIODevice::Append))
        throw CreateError(fileName, existing.errorString());
    existing.close();

    FTemporary = CreateTemporary(FTarget, fileName);
    try {
        if (exists && !QFile::setPermissions(FTemporary, existing.permissions()))
            throw CreateError(fileName, QStringLiteral("Cannot keep the file's permissions"));
        FStream = std::make_unique<TFileStream>(FTemporary, TFileMode::Create);
    } catch (...) {
        QFile::remove(FTemporary);
        throw;
    }
}

TReplacingFile::~TReplacingFile()
{
    FStream.reset();
    if (!FCommitted)
        QFile::remove(FTemporary);
}

void TReplacingFile::Commit()
{
    FStream->Flush();
    FStream.reset();
    // The content is on the disk before its name is, so that a crash leaves either file.
    QFile written(FTemporary);
    if (!written.open(QIODevice::ReadOnly) || ::fsync(written.handle()) != 0)
        throw EWriteError(QStringLiteral("Stream write error"));
    written.close();
    if (std::rename(QFile::encodeName(FTemporary).constData(), QFile::encodeName(FTarget).constData()) != 0)
        throw CreateError(FFileName, QString::fromLocal8Bit(std::strerror(errno)));
    FCommitted = true;
}
