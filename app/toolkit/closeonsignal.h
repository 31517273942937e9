#pragma once

class QWidget;

// Closes the window when the session ends the program (SIGTERM, SIGHUP, SIGINT), so that it
// leaves the way Exit does and the log is saved.
void closeOnTerminationSignals(QWidget *window);
