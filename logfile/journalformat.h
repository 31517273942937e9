#pragma once

#include <QByteArrayView>
#include <QtGlobal>
#include <array>
#include <optional>

// The journal beside the log is two files: NAME.journal holds the text appended to the log view
// since the last save, byte for byte; NAME.journal.idx holds fixed-size records describing it.
namespace JournalFormat {

inline constexpr quint32 kMagic = 0x524a5654; // "TVJR"
inline constexpr quint16 kVersion = 1;
inline constexpr int kRecordSize = 72;

enum class Type : quint16 {
    Header = 1,    // fields: pid, base kind, base size, base device, base inode, base mtime (ns)
    Append = 2,    // fields: data offset, length, checksum of the text
    Clear = 3,     // fields: data offset where the cleared view starts again
    Saving = 4,    // fields: device, inode and size of the file about to replace the log
    Appending = 5, // fields: device, inode, size before and size after of the log appended to
};

enum class BaseKind : qint64 { Empty = 0, File = 1 };

struct Record
{
    Type type = Type::Header;
    qint64 timeMs = 0;
    std::array<qint64, 6> fields{};
};

using RecordBytes = std::array<char, kRecordSize>;

RecordBytes encode(const Record &record);
// Nothing when the bytes are not a whole, intact record (cut mid-write, or garbage).
std::optional<Record> decode(const char *bytes);

// A fast 64-bit checksum: enough to tell written text from garbage left by a crash.
quint64 checksum(QByteArrayView bytes, quint64 seed = 0);

} // namespace JournalFormat
