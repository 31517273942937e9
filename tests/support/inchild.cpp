#include "support/inchild.h"

#include <QFile>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

QString inChild(const std::function<QString()> &work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return QStringLiteral("no pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const QByteArray out = work().toUtf8();
        ::_exit(::write(fds[1], out.constData(), size_t(out.size())) == out.size() ? 0 : 1);
    }
    ::close(fds[1]);
    QFile pipe;
    pipe.open(fds[0], QIODevice::ReadOnly, QFile::AutoCloseHandle);
    const QString out = QString::fromUtf8(pipe.readAll());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : QStringLiteral("child failed");
}

bool dropToNobody()
{
    constexpr uid_t kNobody = 65534;
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}
