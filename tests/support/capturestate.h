#pragma once

#include <QByteArray>

class Form1;
class PseudoTerminal;

// What Start prints when the port cannot be opened.
QByteArray notAvailableNotice(int port = 1);

// Capturing as far as the user can tell, whether or not the device is there: Start off, Stop on
// and the default button, the settings row locked.
bool showsCapture(const Form1 &form);
// Capturing from an open port.
bool capturing(const Form1 &form);
// Start on and the default button, Stop off, the settings row open, the port closed and not
// waited for.
bool idle(const Form1 &form);

// Start, receive the bytes, Stop: gives the view's text, or a marker when a step went wrong.
QByteArray captureOnce(Form1 &form, PseudoTerminal &terminal, const QByteArray &bytes);

// After a fault, half a second of events may not eat the processor.
bool settlesQuietly();
// Processor time this process has used, user and system.
double cpuSeconds();
