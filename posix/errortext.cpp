#include "posix/errortext.h"

#include <cstring>

QString errorText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}
