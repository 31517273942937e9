#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Takes values off the front of a fuzz input; an exhausted input gives zeros and empty texts.
struct FuzzInput
{
    FuzzInput(const uint8_t *data, size_t size) : left(data, qsizetype(size)) {}

    QByteArray bytes(qsizetype count)
    {
        const QByteArray out = left.first(qMin(count, left.size())).toByteArray();
        left = left.sliced(out.size());
        return out;
    }

    uint8_t byte() { return value<uint8_t>(); }
    QByteArray rest() { return bytes(left.size()); }

    template <typename T> T value()
    {
        T result{};
        const QByteArray raw = bytes(sizeof(T));
        std::memcpy(&result, raw.constData(), size_t(raw.size()));
        return result;
    }

    // A length byte, then Latin-1, or UTF-16 when its top bit is set, to reach wider characters.
    QString text()
    {
        const uint8_t head = byte();
        const QByteArray raw = bytes(head & 0x7F);
        if (!(head & 0x80))
            return QString::fromLatin1(raw);
        QString wide(raw.size() / 2, Qt::Uninitialized);
        std::memcpy(wide.data(), raw.constData(), size_t(wide.size()) * 2);
        return wide;
    }

    QByteArrayView left;
};

// A broken invariant aborts, so that libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition, detail)                                                              \
    ((condition) ? void()                                                                          \
                 : (std::fprintf(stderr, "broken: %s [%s]\n", #condition,                          \
                                 qUtf8Printable(QString(detail))),                                 \
                    std::abort()))
