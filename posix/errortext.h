#pragma once

#include <QString>

// The C library's text for an errno value, in the user's language ("No such file or directory").
QString errorText(int errorNumber);
