// The log view over logs on disk: opening, page moves, one long line, appending.
#include "app/logview/logview.h"
#include "app/toolkit/messagebox.h"
#include "logfile/disklogtext.h"
#include "logview_bench.h"
#include "residentmemory.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

using LogViewBench::row;
using LogViewBench::textRow;

namespace {

// A megabyte of what a capture writes: lines of 28 hex items, or items without a break.
QByteArray hexPattern(bool lineBreaks)
{
    QByteArray pattern;
    for (int i = 0; pattern.size() < (1 << 20); ++i) {
        pattern.append(QByteArray::number((i * 7919) & 0xff, 16).toUpper() + ' ');
        if (lineBreaks && i % 28 == 27)
            pattern.append("\r\n");
    }
    return pattern;
}

bool writeLog(const QString &name, qint64 size, bool lineBreaks)
{
    const QByteArray pattern = hexPattern(lineBreaks);
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (qint64 written = 0; written < size;) {
        const qint64 take = std::min<qint64>(pattern.size(), size - written);
        if (file.write(pattern.constData(), take) != take)
            return false;
        written += take;
    }
    return true;
}

std::unique_ptr<LogText> openLog(const QString &name, const QString &directory)
{
    const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
    auto text = DiskLogText::create(directory, fd, QFile(name).size());
    ::close(fd);
    return text;
}

void sendKey(LogView &view, int key, Qt::KeyboardModifiers modifiers = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(&view, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(&view, &release);
}

// Until the view shows the end: Ctrl+End handled, the next frame laid out and drawn.
double openAndGoToEnd(LogView &view, std::unique_ptr<LogText> text)
{
    QElapsedTimer timer;
    timer.start();
    view.setStorage(std::move(text));
    QCoreApplication::processEvents();
    sendKey(view, Qt::Key_End, Qt::ControlModifier);
    QScrollBar *bar = view.verticalScrollBar();
    while (bar->maximum() == 0 || bar->value() != bar->maximum())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    view.viewport()->repaint();
    return timer.nsecsElapsed() / 1e6;
}

double percentile(QList<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[qsizetype(fraction * (values.size() - 1))];
}

// Each key press handled and the view drawn again.
QList<double> pageMoves(LogView &view, qint64 caret, int key, int count)
{
    view.setSelStart(caret);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 40)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QList<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < count; ++i) {
        timer.start();
        sendKey(view, key);
        view.viewport()->repaint();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    return times;
}

QString gb(qint64 bytes)
{
    return QString::number(bytes / double(1 << 30), 'f', 1) + " GiB";
}

void openAndScroll(LogView &view, const LogViewBench::DiskSizes &sizes, const QString &dir,
                   qint64 rssEmpty)
{
    const QString name = dir + "/log.txt";
    if (!writeLog(name, sizes.logBytes, true)) {
        std::printf("could not write %s\n", qPrintable(name));
        return;
    }
    const QString label = "open a " + gb(sizes.logBytes) + " log, Ctrl+End shown";
    row(qPrintable(label), openAndGoToEnd(view, openLog(name, dir)), "ms", "<= 1000 ms");
    const qint64 size = view.length();
    const QList<QPair<const char *, qint64>> places{
        {"page down at the start, 99th percentile", 0},
        {"page down in the middle, 99th percentile", size / 2},
        {"page up at the end, 99th percentile", size}};
    for (const auto &[figure, caret] : places) {
        const QList<double> times =
            pageMoves(view, caret, caret == size ? Qt::Key_PageUp : Qt::Key_PageDown, 200);
        row(figure, percentile(times, 0.99), "ms", "<= 50 ms");
    }
    row("resident memory after, above an empty view", (residentBytes() - rssEmpty) / 1e6, "MB",
        "<= 100 MB");
    // The copy's message box would wait for a person.
    QString told;
    MessageBox::setResponder([&](const MessageBox::Shown &shown) {
        told = shown.text;
        return int(MessageBox::Ok);
    });
    QElapsedTimer timer;
    timer.start();
    view.selectAll();
    view.copy();
    QCoreApplication::processEvents();
    row("Select All and Copy of it", timer.nsecsElapsed() / 1e6, "ms", "");
    row("  resident memory after, above an empty view", (residentBytes() - rssEmpty) / 1e6, "MB",
        "<= 100 MB");
    MessageBox::setResponder({});
    textRow("  copied, and the user told",
            QString::number(QGuiApplication::clipboard()->text().size()) +
                (told.isEmpty() ? " B, not told" : " B, told"),
            "<= 16 MiB, told");
    QGuiApplication::clipboard()->clear();
    view.setStorage(nullptr);
    QFile::remove(name);
}

void oneLongLine(LogView &view, const LogViewBench::DiskSizes &sizes, const QString &dir)
{
    const QString name = dir + "/line.txt";
    if (!writeLog(name, sizes.lineBytes, false))
        return;
    const QString label = "open a " + gb(sizes.lineBytes) + " log of one line, Ctrl+End shown";
    row(qPrintable(label), openAndGoToEnd(view, openLog(name, dir)), "ms", "<= 1000 ms");
    const QByteArray items = QByteArray("41 ").repeated(40);
    QList<double> stalls;
    QElapsedTimer run;
    QElapsedTimer timer;
    run.start();
    while (run.elapsed() < 3000) {
        timer.start();
        view.setSelText(items);
        QCoreApplication::processEvents();
        stalls.append(timer.nsecsElapsed() / 1e6);
        ::usleep(1000);
    }
    row("  then appending to it: worst stall", percentile(stalls, 1.0), "ms", "<= 50 ms");
    view.setStorage(nullptr);
    QFile::remove(name);
}

void appendToDisk(LogView &view, const LogViewBench::DiskSizes &sizes, const QString &dir,
                  qint64 rssEmpty)
{
    view.setStorage(DiskLogText::create(dir));
    QByteArray chunk = hexPattern(true).left(12288);
    QElapsedTimer timer;
    timer.start();
    qint64 appended = 0;
    qint64 rssPeak = 0;
    for (int i = 0; appended < sizes.appendBytes; ++i) {
        view.setSelText(chunk);
        appended += chunk.size();
        QCoreApplication::processEvents();
        if (i % 4096 == 0)
            rssPeak = std::max(rssPeak, residentBytes());
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const QString label = "append " + gb(sizes.appendBytes) + " in 12 KB pieces: text";
    row(qPrintable(label), appended / 1e6 / seconds, "MB/s", "");
    row("  resident memory at the end, above an empty view",
        (std::max(rssPeak, residentBytes()) - rssEmpty) / 1e6, "MB", "<= 100 MB");
    view.setStorage(nullptr);
}

} // namespace

void LogViewBench::runDiskRows(const DiskSizes &sizes)
{
    QTemporaryDir dir(sizes.directory + "/logview_bench-XXXXXX");
    if (!dir.isValid()) {
        std::printf("no directory for the big logs in %s\n", qPrintable(sizes.directory));
        return;
    }
    LogView view;
    view.resize(650, 434);
    view.show();
    QCoreApplication::processEvents();
    const qint64 rssEmpty = residentBytes();
    openAndScroll(view, sizes, dir.path(), rssEmpty);
    oneLongLine(view, sizes, dir.path());
    appendToDisk(view, sizes, dir.path(), rssEmpty);
    textRow("file cache", QStringLiteral("warm"), "files were just written");
}
