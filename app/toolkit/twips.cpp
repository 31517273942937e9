#include "app/toolkit/twips.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

namespace {
double s_twipsPerPixel = 15.0;
constexpr qsizetype kRememberedLengths = 4;
} // namespace

namespace Twips {

void setTwipsPerPixel(double twipsPerPixel)
{
    s_twipsPerPixel = twipsPerPixel;
}

int toPixels(float twips)
{
    return static_cast<int>(std::lround(twips / s_twipsPerPixel));
}

float fromPixels(int pixels)
{
    return static_cast<float>(pixels * s_twipsPerPixel);
}

double chooseTwipsPerPixel(int logicalDpi, const QFont &font,
                           const QList<FitRequirement> &requirements)
{
    double result = 1440.0 / std::max(logicalDpi, 1);
    const QFontMetricsF metrics(font);
    for (const FitRequirement &need : requirements) {
        const double pixels = std::ceil(metrics.horizontalAdvance(need.text)) + need.extraPixels;
        result = std::min(result, need.widthTwips / pixels);
    }
    return result;
}

} // namespace Twips

void TwipsMeasure::set(float twips)
{
    m_known.removeAll(twips);
    m_known.append(twips);
    if (m_known.size() > kRememberedLengths)
        m_known.removeFirst();
}

float TwipsMeasure::read(int currentPixels) const
{
    for (auto it = m_known.crbegin(); it != m_known.crend(); ++it)
        if (Twips::toPixels(*it) == currentPixels)
            return *it;
    return Twips::fromPixels(currentPixels);
}
