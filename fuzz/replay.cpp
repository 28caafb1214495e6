// Runs a fuzz target over saved inputs without libFuzzer, so that every
// ordinary build replays the corpora: each file given, or each file of each
// folder given, whole and cut short at every seventh of its length, as a
// torn read would leave it.

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

void replay(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        std::exit(2);
    }
    const QByteArray bytes = file.readAll();
    const qsizetype step = std::max<qsizetype>(1, bytes.size() / 7);
    for (qsizetype n = bytes.size(); n >= 0; n -= step)
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(n));
}

} // namespace

int main(int argc, char **argv)
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QString path = QFile::decodeName(argv[i]);
        const QDir folder(path);
        const QStringList files = folder.exists() ? folder.entryList(QDir::Files, QDir::Name) : QStringList{QString()};
        for (const QString &name : files) {
            replay(name.isEmpty() ? path : folder.filePath(name));
            ++inputs;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
