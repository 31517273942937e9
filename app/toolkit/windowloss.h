#pragma once

#include <functional>

class QWidget;

// Runs the handler when the window system destroys the window behind the program's back (a
// window manager gone wrong, a tool that destroys windows), which Qt itself does not report.
void onWindowDestroyedFromOutside(QWidget *window, std::function<void()> handler);
