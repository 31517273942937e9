#include "fuzzinput.h"
#include "numbers.h"
#include "portsettings.h"

#include <cmath>

// Parses any settings string: what it accepts is a line a serial port can take, each field agrees
// with the strict conversion of its text, and the settings written out plainly parse the same.
namespace {

QString plainStopBits(const LineSettings &settings, const QString &original)
{
    if (settings.stopBits == QSerialPort::OneStop)
        return QStringLiteral("1");
    return Numbers::strictToDouble(original) == 1.5 ? QStringLiteral("1.5") : QStringLiteral("2");
}

void check(const QString &text)
{
    const std::optional<LineSettings> settings = parseSettingsString(text);
    if (!settings)
        return;
    const QStringList fields = text.split(u',');
    FUZZ_CHECK(fields.size() == 4, text);
    FUZZ_CHECK(settings->baudRate >= 1, text);
    FUZZ_CHECK(Numbers::strictToDouble(fields[0]) == double(settings->baudRate), text);
    FUZZ_CHECK(fields[1].size() == 1 && QStringLiteral("NEOMS").contains(fields[1][0].toUpper()),
               text);
    FUZZ_CHECK(settings->dataBits >= QSerialPort::Data5 && settings->dataBits <= QSerialPort::Data8,
               text);
    FUZZ_CHECK(Numbers::strictToDouble(fields[2]) == double(settings->dataBits), text);
    const std::optional<double> stop = Numbers::strictToDouble(fields[3]);
    FUZZ_CHECK(stop == 1.0 || stop == 2.0 || (stop == 1.5 && settings->dataBits == 5), text);
    FUZZ_CHECK(settings->stopBits == (stop == 1.0 ? QSerialPort::OneStop : QSerialPort::TwoStop),
               text);

    const QString plain = composeSettingsString(QString::number(settings->baudRate), fields[1],
                                                QString::number(int(settings->dataBits)),
                                                plainStopBits(*settings, fields[3]));
    FUZZ_CHECK(parseSettingsString(plain) == settings, text + u" -> " + plain);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    // Either one free text, or four texts joined as Start joins the boxes.
    if (input.byte() & 1) {
        check(input.text());
    } else {
        const QString baud = input.text();
        const QString parity = input.text();
        const QString dataBits = input.text();
        const QString stopBits = input.text();
        check(composeSettingsString(baud, parity, dataBits, stopBits));
    }
    return 0;
}
