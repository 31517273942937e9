#include "fuzzinput.h"
#include "numbers.h"
#include "portrules.h"
#include "portsettings.h"

#include <QList>
#include <array>

// Types random texts into the five settings boxes and runs their rules, as focus changes would.
// After every rule the remembered setting is one the rules accept and the box's text converts
// strictly to it; a row whose boxes all went through their rules gives a settings string that
// the serial layer takes, unless the data bits hold a fraction.
namespace {

enum Box { Port, DataBits, Parity, StopBits, Baud, BoxCount };

struct Row
{
    std::array<QString, BoxCount> text{QStringLiteral("1"), QStringLiteral("8"),
                                       QStringLiteral("None"), QStringLiteral("1"),
                                       QStringLiteral("9600")};
    // The text is what its rule left, not a typed entry that was never checked.
    std::array<bool, BoxCount> checked{true, true, true, true, true};
    bool everyTextChecked = true;
    qint16 lastPortNumber = 1;
    qint16 lastDataBits = 8;
    QString lastParity = QStringLiteral("None");
    float lastStopBits = 1;
    qint32 lastBaudRate = 9600;
};

constexpr std::array<qint32, 10> kRates{1200,  2400,  4800,  9600,  14400,
                                        19200, 28800, 38400, 57600, 115200};

QString describe(const Row &row)
{
    return row.text[Port] + u'|' + row.text[DataBits] + u'|' + row.text[Parity] + u'|' +
           row.text[StopBits] + u'|' + row.text[Baud] +
           QStringLiteral(" remembered %1 %2 %3 %4 %5")
               .arg(row.lastPortNumber)
               .arg(row.lastDataBits)
               .arg(row.lastParity)
               .arg(row.lastStopBits)
               .arg(row.lastBaudRate);
}

void runRule(Row &row, Box box)
{
    switch (box) {
    case Port:
        PortRules::validatePortNumber(row.text[Port], row.lastPortNumber);
        break;
    case DataBits: {
        const QString stopBefore = row.text[StopBits];
        PortRules::validateDataBits(row.text[DataBits], row.text[StopBits], row.lastDataBits,
                                    row.lastStopBits);
        if (row.text[StopBits] != stopBefore)
            row.checked[StopBits] = true;
        break;
    }
    case Parity:
        PortRules::validateParity(row.text[Parity], row.lastParity);
        break;
    case StopBits:
        PortRules::validateStopBits(row.text[DataBits], row.text[StopBits], row.lastStopBits);
        break;
    case Baud:
        PortRules::validateBaudRate(row.text[Baud], row.lastBaudRate);
        break;
    case BoxCount:
        break;
    }
    row.checked[box] = true;
}

void checkRemembered(const Row &row)
{
    const QString state = describe(row);
    FUZZ_CHECK(row.lastPortNumber == 1 || row.lastPortNumber == 2, state);
    FUZZ_CHECK(row.lastDataBits >= 5 && row.lastDataBits <= 8, state);
    FUZZ_CHECK(row.lastParity == u"Odd" || row.lastParity == u"Even" || row.lastParity == u"None",
               state);
    FUZZ_CHECK(row.lastStopBits == 1 || row.lastStopBits == 1.5f || row.lastStopBits == 2, state);
    FUZZ_CHECK(std::find(kRates.begin(), kRates.end(), row.lastBaudRate) != kRates.end(), state);
}

void checkBoxes(const Row &row)
{
    const QString state = describe(row);
    if (row.checked[Port])
        FUZZ_CHECK(Numbers::strictToInt16(row.text[Port]) == row.lastPortNumber, state);
    if (row.checked[DataBits])
        FUZZ_CHECK(Numbers::strictToInt16(row.text[DataBits]) == row.lastDataBits, state);
    if (row.checked[Parity])
        FUZZ_CHECK(row.text[Parity] == row.lastParity, state);
    if (row.checked[StopBits])
        FUZZ_CHECK(Numbers::strictToFloat(row.text[StopBits]) == row.lastStopBits, state);
    if (row.checked[Baud])
        FUZZ_CHECK(row.text[Baud] == Numbers::numberText(row.lastBaudRate), state);
    // A stop-bits text left unchecked lets the data-bits rule pass over a remembered 2, which the
    // stop-bits rule then puts back beside 5 data bits; so the pair is only checked in rows
    // where every text went through its rule.
    if (row.everyTextChecked) {
        const bool fiveBits = Numbers::strictToDouble(row.text[DataBits]) == 5.0;
        FUZZ_CHECK(fiveBits ? row.lastStopBits != 2 : row.lastStopBits != 1.5f, state);
    }
}

// What Start hands to the serial layer once every box has been through its rule.
void checkSettingsString(const Row &row)
{
    if (!row.everyTextChecked)
        return;
    const QString state = describe(row);
    const std::optional<LineSettings> parsed = parseSettingsString(composeSettingsString(
        row.text[Baud], row.text[Parity], row.text[DataBits], row.text[StopBits]));
    const double dataBits = *Numbers::strictToDouble(row.text[DataBits]);
    FUZZ_CHECK(parsed.has_value() == (dataBits == std::floor(dataBits)), state);
    if (!parsed)
        return;
    FUZZ_CHECK(parsed->baudRate == row.lastBaudRate, state);
    FUZZ_CHECK(int(parsed->dataBits) == row.lastDataBits, state);
    const QSerialPort::Parity parity = row.lastParity == u"Odd"    ? QSerialPort::OddParity
                                       : row.lastParity == u"Even" ? QSerialPort::EvenParity
                                                                   : QSerialPort::NoParity;
    FUZZ_CHECK(parsed->parity == parity, state);
    const auto stop = row.lastStopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop;
    FUZZ_CHECK(parsed->stopBits == stop, state);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    Row row;
    for (int step = 0; step < 64 && !input.atEnd(); ++step) {
        const uint8_t action = input.byte();
        const Box box = Box(action % BoxCount);
        row.text[box] = input.text();
        row.checked[box] = false;
        // The top bit: the focus left the window, so the typed text stays unchecked.
        if (action & 0x80) {
            row.everyTextChecked = false;
            continue;
        }
        runRule(row, box);
        checkRemembered(row);
        checkBoxes(row);
        checkSettingsString(row);
    }
    return 0;
}
