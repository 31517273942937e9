#include "logfile/logexport.h"

#include "logfile/civiltime.h"
#include "logfile/disklogtext.h"
#include "logfile/hexitems.h"
#include "logfile/logtimes.h"
#include "posix/errortext.h"
#include "posix/fdguard.h"
#include "posix/fileidentity.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <optional>

namespace LogExport {

namespace {

constexpr qint64 kBlock = qint64(1) << 20;
// A row that never ends (a line without breaks, a damaged times file) is cut so memory stays flat.
constexpr qsizetype kMostItemsInARow = 65536;

void appendNumber(QByteArray &out, qint64 n)
{
    char text[24];
    const char *end = std::to_chars(text, text + sizeof text, n).ptr;
    out.append(text, end - text);
}

// The text read a block at a time, and the output written a block at a time.
class Exporter
{
public:
    Exporter(Format format, const LogText &text, qint64 from, qint64 to, QSaveFile &out,
             const Progress &progress, Result &result)
        : m_format(format), m_text(text), m_from(from), m_to(to), m_out(out), m_progress(progress),
          m_result(result)
    {
    }

    bool writeHead();

    // One chunk of the text, with its time when known; false when the export must end.
    bool chunk(qint64 start, qint64 end, std::optional<qint64> timeMs);
    bool finish();

private:
    std::optional<QByteArrayView> piece(qint64 position, qint64 end);
    void beginRow(qint64 offset, std::optional<qint64> timeMs);
    void endRow();
    void appendTime(qint64 timeMs);
    bool flushOutput(qint64 least);
    bool fail(const QString &text);
    bool failToWrite();

    Format m_format;
    const LogText &m_text;
    qint64 m_from;
    qint64 m_to;
    QSaveFile &m_out;
    const Progress &m_progress;
    Result &m_result;
    QByteArray m_block;
    qint64 m_blockStart = -1;
    QByteArray m_output;
    HexItems::Decoder m_decoder;
    QByteArray m_rowBytes;
    qint64 m_rowOffset = 0;
    std::optional<qint64> m_rowTime;
    qint64 m_timeSecond = -1;
    QByteArray m_timePrefix; // the row time's text up to its milliseconds
};

std::optional<QByteArrayView> Exporter::piece(qint64 position, qint64 end)
{
    if (position < m_blockStart || position >= m_blockStart + m_block.size()) {
        if (m_progress && !m_progress(position - m_from, m_to - m_from)) {
            m_result.cancelled = true;
            fail(QStringLiteral("The export was cancelled: %1 was not changed.")
                     .arg(m_out.fileName()));
            return std::nullopt;
        }
        const qint64 want = std::min(kBlock, m_to - position);
        m_block.resize(qsizetype(want));
        if (m_text.read(position, m_block.data(), want) != want) {
            fail(QStringLiteral("The log could not be read from byte %1 on: the file was "
                                "changed by another program.")
                     .arg(position));
            return std::nullopt;
        }
        m_blockStart = position;
    }
    const qint64 at = position - m_blockStart;
    return QByteArrayView(m_block).sliced(at,
                                          std::min(end, m_blockStart + m_block.size()) - position);
}

bool Exporter::chunk(qint64 start, qint64 end, std::optional<qint64> timeMs)
{
    start = std::max(start, m_from);
    end = std::min(end, m_to);
    if (m_format == Format::Csv && start < end)
        beginRow(start, timeMs);
    for (qint64 position = start; position < end;) {
        const std::optional<QByteArrayView> text = piece(position, end);
        if (!text)
            return false;
        if (m_format == Format::Binary) {
            m_decoder.decode(*text, m_output);
        } else {
            // Text without times has no chunks: its rows are its lines.
            const qsizetype lineEnd = timeMs ? -1 : text->indexOf('\n');
            const QByteArrayView part = lineEnd < 0 ? *text : text->first(lineEnd + 1);
            m_decoder.decode(part, m_rowBytes);
            position += part.size();
            if (lineEnd >= 0 || m_rowBytes.size() >= kMostItemsInARow) {
                endRow();
                beginRow(position, timeMs);
            }
            if (!flushOutput(kBlock))
                return false;
            continue;
        }
        position += text->size();
        if (!flushOutput(kBlock))
            return false;
    }
    if (m_format == Format::Csv && start < end)
        endRow();
    return true;
}

void Exporter::beginRow(qint64 offset, std::optional<qint64> timeMs)
{
    m_rowOffset = offset;
    m_rowTime = timeMs;
    m_rowBytes.resize(0);
}

void Exporter::endRow()
{
    m_decoder.finish(m_rowBytes);
    if (m_rowBytes.isEmpty())
        return;
    if (m_rowTime)
        appendTime(*m_rowTime);
    m_output += ',';
    appendNumber(m_output, m_rowOffset);
    m_output += ',';
    appendNumber(m_output, m_rowBytes.size());
    m_output += ',';
    HexItems::appendItems(m_output, m_rowBytes);
    m_output.back() = '\n';
    m_result.bytes += m_rowBytes.size();
    ++m_result.rows;
    m_rowBytes.resize(0);
}

// The date and the seconds change once in about fifty rows of a capture: kept between rows.
void Exporter::appendTime(qint64 timeMs)
{
    if (timeMs < 0) {
        m_output += isoTime(timeMs);
        return;
    }
    const qint64 second = timeMs / 1000;
    if (second != m_timeSecond) {
        m_timeSecond = second;
        m_timePrefix = isoTime(second * 1000).chopped(4);
    }
    const int ms = int(timeMs % 1000);
    const char tail[] = {char('0' + ms / 100), char('0' + ms / 10 % 10), char('0' + ms % 10), 'Z'};
    m_output.append(m_timePrefix).append(tail, sizeof tail);
}

bool Exporter::flushOutput(qint64 least)
{
    if (m_output.size() < least || m_output.isEmpty())
        return true;
    if (m_out.write(m_output) != m_output.size())
        return failToWrite();
    // Emptied, its room kept for the next block.
    m_output.resize(0);
    return true;
}

bool Exporter::finish()
{
    if (m_format == Format::Binary) {
        m_decoder.finish(m_output);
        m_result.bytes = m_decoder.items();
    }
    m_result.otherWords = m_decoder.otherWords();
    return flushOutput(1);
}

bool Exporter::writeHead()
{
    if (m_format == Format::Csv)
        m_output = "time,offset,bytes,items\n";
    return true;
}

bool Exporter::fail(const QString &text)
{
    m_result.errorText = text;
    return false;
}

bool Exporter::failToWrite()
{
    return fail(
        QStringLiteral("Could not write %1: %2").arg(m_out.fileName(), m_out.errorString()));
}

} // namespace

bool isLogsOwnFile(const QString &target, const QString &logPath)
{
    const std::optional<FileIdentity> targetFile = FileIdentity::ofPath(target);
    if (!targetFile)
        return false;
    const QStringList own{logPath, LogTimes::pathFor(logPath), logPath + ".journal",
                          logPath + ".journal.idx"};
    return std::any_of(own.begin(), own.end(), [&](const QString &path) {
        const std::optional<FileIdentity> ownFile = FileIdentity::ofPath(path);
        return ownFile && ownFile->sameFile(*targetFile);
    });
}

QByteArray isoTime(qint64 timeMs)
{
    const CivilTime time = CivilTime::fromMs(timeMs);
    char text[48];
    const int length = std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d.%03dZ",
                                     static_cast<long long>(time.year), time.month, time.day,
                                     time.hour, time.minute, time.second, time.millisecond);
    return QByteArray(text, length);
}

Result write(Format format, const LogText &text, const LogTimes *times, qint64 from, qint64 to,
             const QString &target, const Progress &progress)
{
    Result result;
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        result.errorText = QStringLiteral("Could not write %1: %2").arg(target, out.errorString());
        return result;
    }
    from = std::clamp<qint64>(from, 0, text.size());
    to = std::clamp<qint64>(to, from, text.size());
    Exporter exporter(format, text, from, to, out, progress, result);
    bool going = exporter.writeHead();
    if (format == Format::Csv && times && times->isOpen()) {
        // Each chunk is written when the next one shows where it ends.
        std::optional<LogTimes::Chunk> pending;
        const auto timeOf = [](const LogTimes::Chunk &chunk) {
            return chunk.timeMs == LogTimes::Unknown ? std::nullopt : std::optional(chunk.timeMs);
        };
        times->forEachChunkFrom(from, [&](qint64 start, qint64 timeMs) {
            if (pending && start > pending->start)
                going = exporter.chunk(pending->start, start, timeOf(*pending));
            pending = LogTimes::Chunk{start, -1, timeMs};
            return going && start < to;
        });
        if (going)
            going = pending ? exporter.chunk(pending->start, to, timeOf(*pending))
                            : exporter.chunk(from, to, std::nullopt);
    } else {
        going = exporter.chunk(from, to, std::nullopt);
    }
    going = going && exporter.finish();
    // The final flush is checked before commit: a full disk must not leave an empty file.
    if (going && !out.flush()) {
        result.errorText = QStringLiteral("Could not write %1: %2").arg(target, out.errorString());
        going = false;
    }
    if (!going) {
        out.cancelWriting();
        return result;
    }
    if (!out.commit()) {
        result.errorText = QStringLiteral("Could not write %1: %2").arg(target, out.errorString());
        return result;
    }
    result.ok = true;
    return result;
}

Result writeFile(Format format, const QString &logPath, const QString &target)
{
    Result result;
    if (isLogsOwnFile(target, logPath)) {
        result.errorText = QStringLiteral("Will not write over %1: it is the log or one of the "
                                          "files kept beside it.")
                               .arg(target);
        return result;
    }
    const FdGuard fd(::open(QFile::encodeName(logPath).constData(), O_RDONLY | O_CLOEXEC));
    const int openError = errno;
    const std::optional<FileIdentity> log =
        fd.fd() >= 0 ? FileIdentity::ofDescriptor(fd.fd()) : std::nullopt;
    if (!log) {
        result.errorText = QStringLiteral("Could not read %1: %2")
                               .arg(logPath, errorText(fd.fd() >= 0 ? EIO : openError));
        return result;
    }
    const DiskLogText text(fd.fd(), log->size, -1, 0);
    LogTimes times(logPath);
    times.openToRead(*log);
    return write(format, text, &times, 0, log->size, target);
}

} // namespace LogExport
