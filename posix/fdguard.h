#pragma once

#include <unistd.h>
#include <utility>

// Owns a file descriptor and closes it on every path out; -1 owns nothing.
class FdGuard
{
public:
    explicit FdGuard(int fd = -1) noexcept : m_fd(fd) {}
    ~FdGuard() { closeOwned(); }
    FdGuard(const FdGuard &) = delete;
    FdGuard &operator=(const FdGuard &) = delete;
    FdGuard(FdGuard &&other) noexcept : m_fd(other.release()) {}
    FdGuard &operator=(FdGuard &&other) noexcept
    {
        if (this != &other) {
            closeOwned();
            m_fd = other.release();
        }
        return *this;
    }

    int fd() const { return m_fd; }
    // Hands the descriptor over: the guard no longer closes it.
    int release() { return std::exchange(m_fd, -1); }

private:
    void closeOwned()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int m_fd = -1;
};
