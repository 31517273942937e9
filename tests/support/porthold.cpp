// Another program holding a device, for the tests: "porthold flock|exclusive PATH" opens
// the device, claims it that way, prints "ready" and keeps it until its standard input closes.
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: porthold flock|exclusive PATH\n");
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
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    // As a well-behaved program does when it closes the port.
    if (std::strcmp(argv[1], "exclusive") == 0)
        ::ioctl(fd, TIOCNXCL);
    return 0;
}
