#pragma once

#include <cstring>

// Fixed-size values in the byte layouts of the files beside the log (native byte order).
namespace RawBytes {

template <typename T> void put(char *at, T value)
{
    std::memcpy(at, &value, sizeof value);
}

template <typename T> T get(const char *at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

} // namespace RawBytes
