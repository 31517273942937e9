#include "app/commandline.h"
#include "app/exportcommand.h"
#include "capture/commcontrol.h"
#include "capture/portlist.h"
#include "posix/pathname.h"

#include <QByteArray>
#include <QStringList>
#include <cstdio>

namespace {

const char kUsage[] = "Usage: tavrel [--port1 PATH] [--port2 PATH] [--start]\n"
                      "       tavrel --list-ports | --help | --version\n"
                      "       tavrel --export-csv LOG OUT | --export-bin LOG OUT\n";

const char kHelp[] =
    "Records what a serial port receives, as hex, in a window; the log is log.txt in the\n"
    "current directory.\n"
    "\n"
    "Options:\n"
    "  --port1 PATH   the device for port 1 (as TAVREL_PORT1 does; default /dev/ttyS0)\n"
    "  --port2 PATH   the device for port 2 (as TAVREL_PORT2 does; default /dev/ttyS1)\n"
    "  --start        press Start as soon as the window is open\n"
    "  --list-ports   list the serial devices present, and which of them ports 1 and 2 open\n"
    "  --export-csv LOG OUT  write the log as CSV: a row per received chunk, its time\n"
    "                 (UTC), offset, byte count and hex items\n"
    "  --export-bin LOG OUT  write the received bytes the log's hex items stand for\n"
    "  --help         show this help and exit\n"
    "  --version      show the version and exit\n";

// Qt's own options, which the application object takes out of the arguments itself.
const QStringList kQtOptionsWithValue = {"platform",
                                         "platformpluginpath",
                                         "platformtheme",
                                         "plugin",
                                         "qwindowgeometry",
                                         "qwindowicon",
                                         "qwindowtitle",
                                         "display",
                                         "geometry",
                                         "style",
                                         "stylesheet",
                                         "title",
                                         "name",
                                         "session",
                                         "qmljsdebugger"};
const QStringList kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

int usageError(const QByteArray &message)
{
    std::fprintf(stderr, "tavrel: %s\n%s", message.constData(), kUsage);
    return 2;
}

QString portsMappingTo(const QString &device)
{
    QStringList ports;
    for (qint16 port : {1, 2})
        if (sameDevice(CommControl::devicePath(port), device))
            ports.append(QStringLiteral("port %1").arg(port));
    return ports.join(QStringLiteral(" and "));
}

void printPort(const PresentPort &port)
{
    QStringList about;
    for (const QString &part : {port.description, port.manufacturer})
        if (!part.isEmpty())
            about.append(part);
    if (!port.serialNumber.isEmpty())
        about.append("serial number " + port.serialNumber);
    std::printf("%s%s%s\n", qPrintable(port.path), about.isEmpty() ? "" : ": ",
                qPrintable(about.join(QStringLiteral(", "))));
    if (!port.stableName.isEmpty())
        std::printf("    stable name: %s\n", qPrintable(port.stableName));
    if (port.mayOpen)
        std::printf("    you may open it\n");
    else if (!port.groupToJoin.isEmpty())
        std::printf("    you may not open it: add yourself to the group %s and log in again\n",
                    qPrintable(port.groupToJoin));
    else
        std::printf("    you may not open it: ask the administrator\n");
    const QString ports = portsMappingTo(port.path);
    if (!ports.isEmpty())
        std::printf("    Tavrel's %s\n", qPrintable(ports));
}

int listPorts()
{
    const QList<PresentPort> ports = presentPorts();
    if (ports.isEmpty())
        std::printf("No serial devices found.\n");
    for (const PresentPort &port : ports)
        printPort(port);
    std::printf("\n");
    for (qint16 number : {1, 2}) {
        const QString path = CommControl::devicePath(number);
        std::printf("Port %d opens %s%s\n", number, PathName::encodePath(path).constData(),
                    DeviceIdentity::of(path).exists() ? "" : " (not present)");
    }
    return 0;
}

// "--name=value" and "--name value" alike; -name for Qt's options as Qt takes them.
struct Argument
{
    QString name;
    std::optional<QString> inlineValue;
};

Argument split(const QString &argument)
{
    QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf(u'=');
    if (equals < 0)
        return {name, std::nullopt};
    return {name.left(equals), name.mid(equals + 1)};
}

} // namespace

namespace CommandLine {

std::optional<int> handle(int argc, char **argv, bool &startCapture)
{
    startCapture = false;
    if (const std::optional<int> status = ExportCommand::handle(argc, argv, kUsage))
        return status;
    bool help = false;
    bool version = false;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = PathName::decodePath(argv[i]);
        if (!argument.startsWith(u'-') || argument.size() < 2)
            return usageError("unexpected argument: " + PathName::encodePath(argument));
        const Argument option = split(argument);
        const bool takesValue = option.name == u"port1" || option.name == u"port2" ||
                                kQtOptionsWithValue.contains(option.name);
        std::optional<QString> value = option.inlineValue;
        if (takesValue && !value) {
            if (i + 1 >= argc)
                return usageError("missing argument for " + PathName::encodePath(argument));
            value = PathName::decodePath(argv[++i]);
        }
        if (!takesValue && value)
            return usageError("no argument is taken by " + PathName::encodePath(option.name));
        // Answered once every argument has been checked: bad input never ends with status 0.
        if (option.name == u"help" || option.name == u"h") {
            help = true;
        } else if (option.name == u"version") {
            version = true;
        } else if (option.name == u"list-ports") {
            list = true;
        } else if (option.name == u"start") {
            startCapture = true;
        } else if (option.name == u"port1" || option.name == u"port2") {
            if (value->isEmpty())
                return usageError("empty path for " + PathName::encodePath(argument));
            qputenv(option.name == u"port1" ? "TAVREL_PORT1" : "TAVREL_PORT2",
                    PathName::encodePath(*value));
        } else if (!takesValue && !kQtFlags.contains(option.name)) {
            return usageError("unknown option: " + PathName::encodePath(argument));
        }
    }
    if (help) {
        std::printf("%s\n%s", kUsage, kHelp);
        return 0;
    }
    if (version) {
        std::printf("tavrel %s\n", TAVREL_VERSION);
        return 0;
    }
    if (list)
        return listPorts();
    return std::nullopt;
}

} // namespace CommandLine
