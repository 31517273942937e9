#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Takes typed values off the front of a fuzz input; an exhausted input gives zeros and empty texts.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool atEnd() const { return m_position >= m_size; }

    uint8_t byte() { return atEnd() ? 0 : m_data[m_position++]; }

    template <typename T> T value()
    {
        T result{};
        auto *bytes = reinterpret_cast<unsigned char *>(&result);
        for (size_t i = 0; i < sizeof(T); ++i)
            bytes[i] = byte();
        return result;
    }

    QByteArray bytes(size_t count)
    {
        const size_t taken = count < m_size - m_position ? count : m_size - m_position;
        const QByteArray out(reinterpret_cast<const char *>(m_data + m_position), qsizetype(taken));
        m_position += taken;
        return out;
    }

    // A length byte, then that many bytes read as Latin-1, or as UTF-16 when the top bit is set,
    // so that texts reach characters beyond one byte too.
    QString text()
    {
        const uint8_t head = byte();
        const QByteArray raw = bytes(head & 0x7F);
        if (!(head & 0x80))
            return QString::fromLatin1(raw);
        QString wide;
        for (qsizetype i = 0; i + 1 < raw.size(); i += 2)
            wide.append(QChar(char16_t(uchar(raw[i]) | uchar(raw[i + 1]) << 8)));
        return wide;
    }

    QByteArray rest() { return bytes(m_size - m_position); }

private:
    const uint8_t *m_data = nullptr;
    size_t m_size = 0;
    size_t m_position = 0;
};

// A broken invariant: say which and stop, so that libFuzzer keeps the input as a crash.
[[noreturn]] inline void fuzzFailure(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "invariant broken: %s [%s]\n", what, qUtf8Printable(detail));
    std::abort();
}

#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzFailure(#condition, detail);                                                       \
    } while (false)
