#pragma once

#include <functional>

class QObject;

// Runs the handler on the window's thread when the session ends the program (SIGTERM, SIGHUP,
// SIGINT). The process ends at the latest a few seconds later, whatever the handler is waiting for.
void onTerminationSignals(QObject *context, std::function<void()> handler);
