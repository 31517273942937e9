#include "fuzzinput.h"
#include "logstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Any bytes as log.txt: a load gives them all back, a save in pieces writes them unchanged, and a
// second load gives the same bytes again.
namespace {

// A file system in memory when there is one: every save syncs, and a disk would set the pace.
QString scratchPath()
{
    static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                       ? QStringLiteral("/dev/shm/tavrel-fuzz-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/tavrel-fuzz-XXXXXX"));
    return dir.filePath(QStringLiteral("log.txt"));
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int pieceCount = input.byte() % 4 + 1;
    const QByteArray bytes = input.rest();
    const QString path = scratchPath();
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), path);
    }

    const LogStore::LoadResult loaded = LogStore::load(path);
    FUZZ_CHECK(loaded.status == LogStore::LoadResult::Status::Loaded, loaded.errorText);
    FUZZ_CHECK(loaded.bytes == bytes, QStringLiteral("first load"));

    QList<QByteArrayView> pieces;
    const qsizetype step = loaded.bytes.size() / pieceCount;
    for (int i = 0; i < pieceCount; ++i) {
        const qsizetype from = i * step;
        const qsizetype length = i + 1 == pieceCount ? loaded.bytes.size() - from : step;
        pieces.append(QByteArrayView(loaded.bytes).sliced(from, length));
    }
    const LogStore::SaveResult saved = LogStore::save(path, pieces);
    FUZZ_CHECK(saved.ok, saved.errorText);
    FUZZ_CHECK(fileBytes(path) == bytes, QStringLiteral("saved bytes"));

    const LogStore::LoadResult again = LogStore::load(path);
    FUZZ_CHECK(again.status == LogStore::LoadResult::Status::Loaded, again.errorText);
    FUZZ_CHECK(again.bytes == bytes, QStringLiteral("second load"));
    return 0;
}
