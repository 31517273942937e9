#include "logfile/journalformat.h"

#include "logfile/rawbytes.h"

#include <cstring>

namespace JournalFormat {

namespace {

constexpr int kCheckedBytes = kRecordSize - 8;

using RawBytes::get;
using RawBytes::put;

} // namespace

quint64 checksum(QByteArrayView bytes, quint64 seed)
{
    constexpr quint64 kPrime = 0x100000001b3ULL;
    quint64 hash = 0xcbf29ce484222325ULL ^ seed;
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    // Eight bytes at a time keeps the checksum far below the cost of the write itself.
    for (; left >= 8; left -= 8, data += 8)
        hash = (hash ^ get<quint64>(data)) * kPrime + (hash >> 29);
    for (; left > 0; --left, ++data)
        hash = (hash ^ quint8(*data)) * kPrime;
    return hash ^ (hash >> 31) ^ quint64(bytes.size());
}

RecordBytes encode(const Record &record)
{
    RecordBytes bytes{};
    put<quint32>(bytes.data(), kMagic);
    put<quint16>(bytes.data() + 4, quint16(record.type));
    put<quint16>(bytes.data() + 6, kVersion);
    put<qint64>(bytes.data() + 8, record.timeMs);
    for (size_t i = 0; i < record.fields.size(); ++i)
        put<qint64>(bytes.data() + 16 + 8 * i, record.fields[i]);
    put<quint64>(bytes.data() + kCheckedBytes,
                 checksum(QByteArrayView(bytes.data(), kCheckedBytes)));
    return bytes;
}

std::optional<Record> decode(const char *bytes)
{
    if (get<quint32>(bytes) != kMagic || get<quint16>(bytes + 6) != kVersion ||
        get<quint64>(bytes + kCheckedBytes) != checksum(QByteArrayView(bytes, kCheckedBytes)))
        return std::nullopt;
    const auto type = get<quint16>(bytes + 4);
    if (type < quint16(Type::Header) || type > quint16(Type::Appending))
        return std::nullopt;
    Record record;
    record.type = Type(type);
    record.timeMs = get<qint64>(bytes + 8);
    for (size_t i = 0; i < record.fields.size(); ++i)
        record.fields[i] = get<qint64>(bytes + 16 + 8 * i);
    return record;
}

} // namespace JournalFormat
