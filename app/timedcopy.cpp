#include "app/timedcopy.h"

#include "app/logview/arrivaltimes.h"
#include "app/logview/timecolumn.h"
#include "logfile/logtext.h"

#include <QList>

namespace TimedCopy {

namespace {
void appendLine(QString &out, const QString &time, const QByteArray &text)
{
    const QByteArray items = text.simplified();
    if (!items.isEmpty())
        out += time + QLatin1Char('\t') + QString::fromLatin1(items) + QLatin1Char('\n');
}
} // namespace

QString lines(const LogText &text, const ArrivalTimes &times, qint64 from, qint64 to)
{
    QString out;
    for (const ArrivalTimes::Chunk &chunk : times.chunksIn(from, to)) {
        const qint64 start = std::max(chunk.start, from);
        const QByteArray part = text.mid(start, std::min(chunk.end, to) - start);
        if (chunk.timeMs) {
            appendLine(out, TimeColumn::dateTime(*chunk.timeMs), part);
        } else {
            for (const QByteArray &line : part.split('\n'))
                appendLine(out, QString(), line);
        }
    }
    return out;
}

} // namespace TimedCopy
