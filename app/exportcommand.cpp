#include "app/exportcommand.h"

#include "logfile/logexport.h"

#include <QByteArray>
#include <QString>
#include <cstdio>

namespace {

std::optional<LogExport::Format> exportFormat(const char *argument)
{
    const QString name = QString::fromLocal8Bit(argument).section(u'=', 0, 0);
    if (name == u"--export-csv")
        return LogExport::Format::Csv;
    if (name == u"--export-bin")
        return LogExport::Format::Binary;
    return std::nullopt;
}

} // namespace

namespace ExportCommand {

std::optional<int> handle(int argc, char **argv, const char *usage)
{
    QByteArray option;
    int asked = 0;
    for (int i = 1; i < argc; ++i) {
        if (exportFormat(argv[i])) {
            option = QByteArray(argv[i]);
            option.truncate(option.indexOf('=') < 0 ? option.size() : option.indexOf('='));
            ++asked;
        }
    }
    if (asked == 0)
        return std::nullopt;
    const std::optional<LogExport::Format> format = exportFormat(argv[1]);
    if (asked > 1 || !format || argc != 4 || option != argv[1]) {
        std::fprintf(stderr, "tavrel: %s takes a log and a file to write, and no other option\n%s",
                     option.constData(), usage);
        return 2;
    }
    const QString log = QString::fromLocal8Bit(argv[2]);
    const QString target = QString::fromLocal8Bit(argv[3]);
    if (log.isEmpty() || target.isEmpty()) {
        std::fprintf(stderr, "tavrel: empty path for %s\n%s", argv[1], usage);
        return 2;
    }
    const LogExport::Result result = LogExport::writeFile(*format, log, target);
    if (!result.ok) {
        std::fprintf(stderr, "tavrel: %s\n", qPrintable(result.errorText));
        return 1;
    }
    if (result.otherWords > 0)
        std::fprintf(stderr, "tavrel: %lld words that are not hex items were left out\n",
                     static_cast<long long>(result.otherWords));
    return 0;
}

} // namespace ExportCommand
