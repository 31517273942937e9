#include "fuzzinput.h"
#include "logfile/disklogtext.h"
#include "logfile/logstore.h"
#include "logfile/logtext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Any bytes saved whole, loaded back and appended to in place, as Stop does, reach log.txt
// unchanged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray saved = input.bytes(input.byte());
    const QByteArray added = input.rest();
    // In memory when there is such a file system: every save syncs.
    static const QTemporaryDir dir((QDir(QStringLiteral("/dev/shm")).exists()
                                        ? QStringLiteral("/dev/shm")
                                        : QDir::tempPath()) +
                                   QStringLiteral("/tavrel-fuzz-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("log.txt"));

    const LogStore::SaveResult written = LogStore::save(path, MemoryLogText(saved));
    FUZZ_CHECK(written.ok, written.errorText);
    LogStore::LoadResult loaded = LogStore::load(path);
    // What arrives goes to a file of its own, as the journal keeps it, and is copied from there.
    const auto text = DiskLogText::create(dir.path(), loaded.file.fd(), loaded.identity.size);
    FUZZ_CHECK(loaded.status == LogStore::LoadResult::Status::Loaded && text &&
                   text->mid(0, text->size()) == saved,
               loaded.errorText);
    text->append(added);
    const LogStore::SaveResult appended =
        LogStore::appendTo(path, loaded.identity, *text, saved.size());
    FUZZ_CHECK(appended.ok, appended.errorText);
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly) && file.readAll() == saved + added, path);
    return 0;
}
