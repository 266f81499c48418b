// jeerbox-convert: converts WAV files to the taunt format from the command line, through the
// same components the workbench uses: the WAV stream reads and writes, the convertor converts.

#include "sound/ACMConvertor.h"
#include "sound/Wavs_ex.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstring>

namespace {

const char Usage[] =
    "Usage: jeerbox-convert -o OUTDIR FILE...\n"
    "Converts each WAV FILE to PCM, mono, 22050 Hz, 8-bit unsigned and writes it as\n"
    "OUTDIR/<name>.wav, <name> being FILE's name without its extension.\n"
    "Prints one line for each file that fails; exits with 0 only if every file converted.\n";

void Report(const QString& file, const QString& reason)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QDir::toNativeSeparators(file)), qPrintable(reason));
}

// Converts one file; returns the reason it failed, or an empty text.
QString ConvertFile(TACMConvertor& convertor, const QString& source, const QDir& outDir)
{
    const QString target = outDir.filePath(QFileInfo(source).completeBaseName() + QStringLiteral(".wav"));
    if (QFileInfo(target).exists() && QFileInfo(target).canonicalFilePath() == QFileInfo(source).canonicalFilePath())
        return QStringLiteral("the converted file would replace the source; choose another output folder");

    TWavStream wave;
    wave.LoadFromFile(source);
    if (wave.Size() > int64_t(UINT32_MAX))
        return QStringLiteral("the sound is too long to convert");

    convertor.SetActive(false);
    convertor.SetInputBufferSize(uint32_t(wave.Size()));
    std::memcpy(&convertor.FormatIn.Format, &wave.Format, sizeof(WAVEFORMATEX));
    convertor.SetActive(true);
    std::memcpy(convertor.InputBuffer, wave.Memory(), size_t(wave.Size()));
    wave.Clear();
    const uint32_t converted = convertor.Convert();

    TWavStream result;
    result.SetFormat(convertor.FormatOut.Format);
    result.SetSize(converted);
    std::memcpy(result.Memory(), convertor.OutputBuffer, converted);
    convertor.SetActive(false);
    result.SaveToFile(target);
    return {};
}

}

int main(int argc, char** argv)
{
    QString outDir;
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == QLatin1String("-o") && i + 1 < argc)
            outDir = QString::fromLocal8Bit(argv[++i]);
        else if (arg == QLatin1String("--"))
            while (++i < argc)
                files << QString::fromLocal8Bit(argv[i]);
        else if (arg.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr, "jeerbox-convert: unknown option %s\n%s", argv[i], Usage);
            return 2;
        } else
            files << arg;
    }
    if (outDir.isEmpty() || files.isEmpty()) {
        std::fputs(Usage, stderr);
        return 2;
    }
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "jeerbox-convert: cannot create the folder %s\n", qPrintable(outDir));
        return 1;
    }

    TACMConvertor convertor;
    int failed = 0;
    for (const QString& file : files) {
        QString reason;
        try {
            reason = ConvertFile(convertor, file, QDir(outDir));
        } catch (const std::exception& e) {
            reason = ExceptionMessage(e);
        }
        if (!reason.isEmpty()) {
            Report(file, reason);
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
