#include "capture/portsettings.h"
#include "fuzzinput.h"
#include "settings/numbers.h"

// Any settings string, free or joined from four texts as Start joins the boxes: what parses is a
// line a port can take, each field agrees with its text, and written out plainly parses the same.
namespace {

void check(const QString &text)
{
    const std::optional<LineSettings> settings = parseSettingsString(text);
    if (!settings)
        return;
    const QStringList fields = text.split(u',');
    FUZZ_CHECK(fields.size() == 4, text);
    const auto number = [&](int field) { return Numbers::strictToDouble(fields[field]); };
    const std::optional<double> stop = number(3);
    FUZZ_CHECK(settings->baudRate >= 1 && number(0) == double(settings->baudRate), text);
    FUZZ_CHECK(fields[1].size() == 1 && QStringLiteral("NEOMS").contains(fields[1][0].toUpper()),
               text);
    FUZZ_CHECK(settings->dataBits >= QSerialPort::Data5 &&
                   settings->dataBits <= QSerialPort::Data8 &&
                   number(2) == double(settings->dataBits),
               text);
    FUZZ_CHECK(stop == 1.0 || stop == 2.0 || (stop == 1.5 && settings->dataBits == 5), text);
    FUZZ_CHECK(settings->stopBits == (stop == 1.0 ? QSerialPort::OneStop : QSerialPort::TwoStop),
               text);
    const QString plain = composeSettingsString(
        QString::number(settings->baudRate), fields[1], QString::number(int(settings->dataBits)),
        stop == 1.5 ? QStringLiteral("1.5") : QString::number(int(*stop)));
    FUZZ_CHECK(parseSettingsString(plain) == settings, text + u" -> " + plain);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    if (input.byte() & 1) {
        check(input.text());
        return 0;
    }
    QString texts[4];
    for (QString &text : texts)
        text = input.text();
    check(composeSettingsString(texts[0], texts[1], texts[2], texts[3]));
    return 0;
}
