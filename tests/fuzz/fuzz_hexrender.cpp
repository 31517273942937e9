#include "fuzzinput.h"
#include "hexrender.h"

#include <limits>

// Renders any chunk at any column count and line capacity: the output is hex items (upper case,
// no leading zero, a blank after each) with CR LF only after an item, decoding it gives the chunk
// back, and the lines break where the count passes the capacity.
namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QString where(qsizetype position)
{
    return QStringLiteral("at %1").arg(position);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const auto startColumn = input.value<qint16>();
    const auto capacity = input.value<float>();
    const QByteArray before = input.bytes(input.byte() % 8);
    const QByteArray chunk = input.rest();

    QByteArray out = before;
    qint16 column = startColumn;
    appendHexItems(out, chunk, column, capacity);
    FUZZ_CHECK(out.startsWith(before), QString());

    // A wider counter than the 16-bit one, so that its limit is a line end of its own.
    qint32 count = startColumn;
    qsizetype at = before.size();
    for (const char expected : chunk) {
        int value = 0;
        int digits = 0;
        for (; at < out.size() && hexDigit(out[at]) >= 0 && digits < 3; ++at, ++digits)
            value = value * 16 + hexDigit(out[at]);
        FUZZ_CHECK(digits == 1 || (digits == 2 && out[at - 2] != '0'), where(at));
        FUZZ_CHECK(value == uchar(expected), where(at));
        FUZZ_CHECK(at < out.size() && out[at] == ' ', where(at));
        ++at;
        ++count;
        const bool lineEnds = count > std::numeric_limits<qint16>::max() || float(count) > capacity;
        if (lineEnds) {
            FUZZ_CHECK(out.mid(at, 2) == "\r\n", where(at));
            at += 2;
            count = 1;
        }
    }
    FUZZ_CHECK(at == out.size(), where(at));
    FUZZ_CHECK(column == count, QStringLiteral("column %1, expected %2").arg(column).arg(count));
    return 0;
}
