#pragma once

// The window as designed: each control's caption, tooltip and place in twips, measured in the
// client area. The boxes' texts come from the settings choices.
namespace Design {

struct Control
{
    const char *caption;
    const char *tip;
    float left;
    float top;
    float width;
    float height;
};

inline constexpr float kClientWidth = 7230;
inline constexpr float kClientHeight = 6750;

inline constexpr Control kCombo1{"", "", 1440, 205, 735, 315};
inline constexpr Control kCombo5{"", "Change baud rate from here", 1440, 695, 975, 315};
inline constexpr Control kCombo2{"", "", 3840, 205, 735, 315};
inline constexpr Control kCombo3{"", "", 3840, 695, 735, 315};
inline constexpr Control kCombo4{"", "", 6240, 205, 735, 315};
inline constexpr Control kLabel1{
    "Serial Port No:", "Enter serial port number here", 120, 240, 1200, 255};
inline constexpr Control kLabel2{"BPS:", "Enter baud rate here", 120, 720, 1200, 255};
inline constexpr Control kLabel3{
    "Data Bits:", "Enter number of information bits here", 2520, 240, 1200, 255};
inline constexpr Control kLabel4{"Parity:", "Enter type of parity control here", 2520, 720, 1200,
                                 255};
inline constexpr Control kLabel5{"Stop Bits:", "Enter number of stop bits here", 4920, 240, 1200,
                                 255};
inline constexpr Control kLabel6{"Filename: LOG.TXT", "", 5460, 750, 1515, 255};
inline constexpr Control kText1{"", "Logged data", 0, 1200, 7215, 4815};
inline constexpr Control kCommand1{"&Start", "Click to start logging", 360, 6240, 1095, 375};
inline constexpr Control kCommand2{"Sto&p", "Click to stop logging", 2160, 6240, 1095, 375};
inline constexpr Control kCommand3{"&Clear", "Click to clear log and log file", 3960, 6240, 1095,
                                   375};
inline constexpr Control kCommand4{"&Exit", "Click to close", 5880, 6240, 1095, 375};
// Line1 runs along the top of the client area, from x 0 to this.
inline constexpr float kLine1X2 = 7200;

} // namespace Design
