// Feeds every file of the seed corpus (or the files and folders named on the command line, such as a crash
// the fuzzer saved) through the datagram harness, without libFuzzer.
#include "datagramharness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

namespace {

QStringList inputFiles(const QStringList& paths)
{
    QStringList files;
    for (const QString& path : paths) {
        if (!QFileInfo(path).isDir()) {
            files.append(path);
            continue;
        }
        const QDir folder(path);
        for (const QString& name : folder.entryList(QDir::Files, QDir::Name))
            files.append(folder.filePath(name));
    }
    return files;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList paths;
    for (int i = 1; i < argc; ++i)
        paths.append(QString::fromLocal8Bit(argv[i]));
    if (paths.isEmpty())
        paths.append(QStringLiteral(PARLINK_FUZZ_CORPUS));

    const QStringList files = inputFiles(paths);
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return 1;
        }
        const QByteArray input = file.readAll();
        std::printf("%s (%d bytes)\n", qPrintable(QFileInfo(path).fileName()), int(input.size()));
        std::fflush(stdout);
        runDatagramInput(reinterpret_cast<const std::uint8_t*>(input.constData()), std::size_t(input.size()));
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::printf("replayed %d inputs\n", int(files.size()));
    return 0;
}
