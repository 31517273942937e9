#include "capture/portsettings.h"
#include "fuzzinput.h"
#include "settings/settingsinvariant.h"

#include <cmath>

// Types random texts into the five boxes, most left through their rule, some as the focus leaves
// the window. After every step the row keeps its invariant, and a row typed only through the
// rules gives Start a settings string that parses to the remembered settings, unless the data
// bits hold a fraction.
namespace {

void checkSettingsString(const SettingsRow &row, const QString &state)
{
    const std::optional<LineSettings> parsed = parseSettingsString(
        composeSettingsString(row.box[SettingsRow::Baud], row.box[SettingsRow::Parity],
                              row.box[SettingsRow::DataBits], row.box[SettingsRow::StopBits]));
    const double dataBits = *Numbers::strictToDouble(row.box[SettingsRow::DataBits]);
    FUZZ_CHECK(parsed.has_value() == (dataBits == std::floor(dataBits)), state);
    if (!parsed)
        return;
    const QSerialPort::Parity parity = row.parity == u"Odd"    ? QSerialPort::OddParity
                                       : row.parity == u"Even" ? QSerialPort::EvenParity
                                                               : QSerialPort::NoParity;
    FUZZ_CHECK(parsed->baudRate == row.baud && int(parsed->dataBits) == row.dataBits &&
                   parsed->parity == parity &&
                   parsed->stopBits ==
                       (row.stopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop),
               state);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    SettingsRow row;
    for (int step = 0; step < 64 && !input.left.isEmpty(); ++step) {
        const uint8_t action = input.byte();
        const auto box = SettingsRow::Box(action % 5);
        if (action & 0x80)
            row.type(box, input.text());
        else
            row.enter(box, input.text());
        const QString state = row.box.join(u'|') + u' ' + QString::number(row.stopBits);
        FUZZ_CHECK(row.fault().isEmpty(), row.fault() + u' ' + state);
        if (row.onlyThroughRules)
            checkSettingsString(row, state);
    }
    return 0;
}
