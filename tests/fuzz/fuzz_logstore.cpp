#include "fuzzinput.h"
#include "logfile/logstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Any bytes saved in pieces land in log.txt unchanged and load back the same.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int pieceCount = input.byte() % 4 + 1;
    const QByteArray bytes = input.rest();
    // In memory when there is such a file system: every save syncs.
    static const QTemporaryDir dir((QDir(QStringLiteral("/dev/shm")).exists()
                                        ? QStringLiteral("/dev/shm")
                                        : QDir::tempPath()) +
                                   QStringLiteral("/tavrel-fuzz-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("log.txt"));

    QList<QByteArrayView> pieces;
    const qsizetype step = bytes.size() / pieceCount;
    for (int i = 0; i < pieceCount; ++i)
        pieces.append(QByteArrayView(bytes).sliced(
            i * step, i + 1 == pieceCount ? bytes.size() - i * step : step));
    const LogStore::SaveResult saved = LogStore::save(path, pieces);
    FUZZ_CHECK(saved.ok, saved.errorText);
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly) && file.readAll() == bytes, path);
    const LogStore::LoadResult loaded = LogStore::load(path);
    FUZZ_CHECK(loaded.status == LogStore::LoadResult::Status::Loaded &&
                   loaded.text->mid(0, loaded.text->size()) == bytes,
               loaded.errorText);
    return 0;
}
