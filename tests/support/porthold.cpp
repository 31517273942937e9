// Another program holding a device, for the tests: "porthold flock|exclusive PATH" opens
// the device, claims it that way, prints "ready" and keeps it until its standard input closes.
// "porthold pty" keeps both ends of a pseudo-terminal of its own, as socat does, and prints
// "ready PATH" with the path of its device side.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void waitForStandardInputToClose()
{
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
}

int holdPseudoTerminal()
{
    int controller = -1;
    int device = -1;
    char name[256] = {};
    if (::openpty(&controller, &device, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    std::printf("ready %s\n", name);
    std::fflush(stdout);
    waitForStandardInputToClose();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "pty") == 0)
        return holdPseudoTerminal();
    if (argc != 3) {
        std::fprintf(stderr, "usage: porthold flock|exclusive PATH | porthold pty\n");
        return 2;
    }
    const int fd = ::open(argv[2], O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::perror(argv[2]);
        return 1;
    }
    if (std::strcmp(argv[1], "flock") == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        std::perror("flock");
        return 1;
    }
    if (std::strcmp(argv[1], "exclusive") == 0 && ::ioctl(fd, TIOCEXCL) != 0) {
        std::perror("TIOCEXCL");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    waitForStandardInputToClose();
    // As a well-behaved program does when it closes the port.
    if (std::strcmp(argv[1], "exclusive") == 0)
        ::ioctl(fd, TIOCNXCL);
    return 0;
}
