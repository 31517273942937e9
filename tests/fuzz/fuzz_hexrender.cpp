#include "capture/hexrender.h"
#include "fuzzinput.h"

#include <limits>

// Any chunk at any column count and line capacity: an item per byte, decoded independently, with
// CR LF where the count passes the capacity or the 16-bit counter's limit.
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
    qint32 count = startColumn;
    qsizetype at = before.size();
    for (const char c : chunk) {
        const QByteArray item = QByteArray::number(uchar(c), 16).toUpper() + ' ';
        FUZZ_CHECK(out.mid(at, item.size()) == item, QString::number(at));
        at += item.size();
        if (++count > std::numeric_limits<qint16>::max() || float(count) > capacity) {
            FUZZ_CHECK(out.mid(at, 2) == "\r\n", QString::number(at));
            at += 2;
            count = 1;
        }
    }
    FUZZ_CHECK(at == out.size() && column == count, QString::number(column));
    return 0;
}
