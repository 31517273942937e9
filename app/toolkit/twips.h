#pragma once

#include <QFont>
#include <QList>
#include <QString>

// Twips (1/1440 inch) are the window's own measure; pixels exist only at the toolkit's edge.
namespace Twips {

void setTwipsPerPixel(double twipsPerPixel);
int toPixels(float twips);
float fromPixels(int pixels);

// A text that must fit into a width in twips, with some pixels of the control's own around it.
struct FitRequirement
{
    QString text;
    float widthTwips;
    int extraPixels;
};

// The platform's twips per pixel, made smaller where the font would not fit the design.
double chooseTwipsPerPixel(int logicalDpi, const QFont &font,
                           const QList<FitRequirement> &requirements);

} // namespace Twips

// A length set in twips and held in pixels: reading it back gives the twips that were set
// for as long as the pixels have not changed.
class TwipsMeasure
{
public:
    void set(float twips);
    float read(int currentPixels) const;

private:
    QList<float> m_known;
};
