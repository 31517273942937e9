#include "app/toolkit/windowicon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

// Renders the window icon into an icon-theme tree: <dir>/<n>x<n>/apps/<name>.png for each size.
int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: tavrel_icongen DIR NAME SIZE...\n");
        return 2;
    }
    const QString &dir = args.at(1);
    const QString &name = args.at(2);
    for (const QString &arg : args.mid(3)) {
        bool ok = false;
        const int size = arg.toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "tavrel_icongen: bad size %s\n", qPrintable(arg));
            return 2;
        }
        const QString subdir = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
        const QString path = subdir + '/' + name + ".png";
        if (!QDir().mkpath(subdir) || !drawTavrelIcon(size).save(path, "PNG")) {
            std::fprintf(stderr, "tavrel_icongen: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
