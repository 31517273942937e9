#include "app/form1.h"

namespace {
// Margins from the client area's edges; the design's outer-size margins less its borders.
constexpr float kLogHeightMargin = 1935;
constexpr float kLogWidthMargin = 15;
constexpr float kLineEndMargin = 30;
constexpr float kButtonRowOffset = 510;
} // namespace

void Form1::Form_Resize()
{
    if (windowStateCode() == 1)
        return;
    LayoutControls();
}

void Form1::LayoutControls()
{
    if (clientWidth() < kMinClientWidth)
        setClientSize(kMinClientWidth, clientHeight());
    if (clientHeight() < kMinClientHeight)
        setClientSize(clientWidth(), kMinClientHeight);
    setText1Size(clientWidth() - kLogWidthMargin, clientHeight() - kLogHeightMargin);
    setLine1X2(clientWidth() - kLineEndMargin);
    setButtonTop(clientHeight() - kButtonRowOffset);
}
