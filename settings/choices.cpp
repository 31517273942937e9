#include "settings/choices.h"

#include "settings/numbers.h"

namespace {

template <typename Values> QStringList textsOf(const Values &values)
{
    QStringList texts;
    for (const auto value : values)
        texts.append(Numbers::numberText(value));
    return texts;
}

} // namespace

namespace Choices {

QStringList portNumberTexts()
{
    return textsOf(kPortNumbers);
}

QStringList dataBitsTexts()
{
    return textsOf(kDataBits);
}

QStringList parityTexts()
{
    QStringList texts;
    for (const char *parity : kParities)
        texts.append(QString::fromLatin1(parity));
    return texts;
}

QStringList stopBitsTexts()
{
    return textsOf(kStopBits);
}

QStringList baudRateTexts()
{
    return textsOf(kBaudRates);
}

} // namespace Choices
