#pragma once

#include <QtGlobal>

// Qt aborts the process when no window system can be reached. While one of these lives, that
// ends the program with one line on standard error and status 1 instead; the messages Qt gives
// meanwhile are held back and passed on when it goes.
class ExitWithoutDisplay
{
public:
    ExitWithoutDisplay();
    ~ExitWithoutDisplay();
    ExitWithoutDisplay(const ExitWithoutDisplay &) = delete;
    ExitWithoutDisplay &operator=(const ExitWithoutDisplay &) = delete;

private:
    QtMessageHandler m_previous = nullptr;
};
