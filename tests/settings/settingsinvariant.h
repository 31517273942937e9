#pragma once

#include "settings/choices.h"
#include "settings/numbers.h"
#include "settings/portrules.h"

#include <QStringList>
#include <algorithm>

// The five box texts and remembered settings as the window holds them after start-up, and the
// invariant the rules keep whatever is typed.
struct SettingsRow
{
    enum Box { Port, DataBits, Parity, StopBits, Baud };

    QStringList box{"1", "8", "None", "1", "9600"};
    qint16 port = 1;
    qint16 dataBits = 8;
    QString parity = QStringLiteral("None");
    float stopBits = 1;
    qint32 baud = 9600;
    // Bit per box typed but never validated, as when the focus leaves the window.
    int unchecked = 0;
    // One unchecked stop-bits text can let a remembered 2 stand beside 5 data bits for good.
    bool onlyThroughRules = true;

    void type(Box b, const QString &text)
    {
        box[b] = text;
        unchecked |= 1 << b;
        onlyThroughRules = false;
    }

    void enter(Box b, const QString &text)
    {
        box[b] = text;
        unchecked &= ~(1 << b);
        if (b == Port) {
            PortRules::validatePortNumber(box[Port], port);
        } else if (b == DataBits) {
            const QString stopText = box[StopBits];
            PortRules::validateDataBits(box[DataBits], box[StopBits], dataBits, stopBits);
            if (box[StopBits] != stopText)
                unchecked &= ~(1 << StopBits);
        } else if (b == Parity) {
            PortRules::validateParity(box[Parity], parity);
        } else if (b == StopBits) {
            PortRules::validateStopBits(box[DataBits], box[StopBits], stopBits);
        } else {
            PortRules::validateBaudRate(box[Baud], baud);
        }
    }

    // Empty when every setting is allowed and every validated box converts strictly to it.
    QString fault() const
    {
        using namespace Numbers;
        const auto shows = [this](Box b, bool same) { return (unchecked & 1 << b) || same; };
        const auto data = strictToDouble(box[DataBits]);
        const auto offered = [](const auto &values, auto value) {
            return std::find(values.begin(), values.end(), value) != values.end();
        };
        if (!offered(Choices::kPortNumbers, port) || !shows(Port, strictToInt16(box[Port]) == port))
            return "port";
        const auto inDataBitsRange = [](double value) {
            return value >= Choices::kDataBits.front() && value <= Choices::kDataBits.back();
        };
        if (!inDataBitsRange(dataBits) ||
            !shows(DataBits,
                   data && inDataBitsRange(*data) && strictToInt16(box[DataBits]) == dataBits))
            return "data bits";
        if (!Choices::parityTexts().contains(parity) || !shows(Parity, box[Parity] == parity))
            return "parity";
        if (!offered(Choices::kStopBits, stopBits) ||
            !shows(StopBits, strictToFloat(box[StopBits]) == stopBits))
            return "stop bits";
        if (onlyThroughRules && (data == 5 ? stopBits == 2 : stopBits == 1.5f))
            return "stop bits with data bits";
        if (!offered(Choices::kBaudRates, baud) || !shows(Baud, box[Baud] == numberText(baud)))
            return "baud";
        return {};
    }
};
