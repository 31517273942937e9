// Prints how fast the log view takes hex text and how much memory it holds; never fails.
// logview_bench [received-MB] [--log-gb N] [--line-gb N] [--append-gb N] [--dir PATH]
// The defaults stay within a minute or two; --log-gb 10 gives the 10 GB figures.
#include "logview_bench.h"
#include "app/logview/logview.h"
#include "residentmemory.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <cstdio>

namespace {
constexpr int ItemsPerLine = 28;

// Renders received bytes as the capture does: one append per event with all its items.
class Renderer
{
public:
    Renderer()
    {
        for (int b = 0; b < 256; ++b)
            m_items[b] = QByteArray::number(b, 16).toUpper() + ' ';
    }
    void feed(LogView &view, const uchar *bytes, qsizetype count)
    {
        m_text.clear();
        for (qsizetype i = 0; i < count; ++i) {
            m_text.append(m_items[bytes[i]]);
            if (++m_column > ItemsPerLine) {
                m_column = 1;
                m_text.append("\r\n");
            }
        }
        view.setSelText(m_text);
    }

private:
    QByteArray m_items[256];
    QByteArray m_text;
    int m_column = 1;
};

double mb(qint64 bytes)
{
    return bytes / 1e6;
}

qint64 gigabytes(const QStringList &args, const char *option, qint64 fallback)
{
    const qsizetype at = args.indexOf(QLatin1String(option));
    return at >= 0 && at + 1 < args.size() ? qint64(args[at + 1].toDouble() * (1 << 30)) : fallback;
}
} // namespace

namespace LogViewBench {
void row(const char *figure, double value, const char *unit, const char *goal)
{
    std::printf("| %-52s | %12.2f %-6s | %-22s |\n", figure, value, unit, goal);
}

void textRow(const char *figure, const QString &value, const char *goal)
{
    std::printf("| %-52s | %19s | %-22s |\n", figure, qPrintable(value), goal);
}
} // namespace LogViewBench

using LogViewBench::row;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qint64 receivedTotal =
        argc > 1 && argv[1][0] != '-' ? QByteArray(argv[1]).toLongLong() * 1000000 : 100000000;
    LogViewBench::DiskSizes sizes;
    sizes.logBytes = gigabytes(args, "--log-gb", sizes.logBytes);
    sizes.lineBytes = gigabytes(args, "--line-gb", sizes.lineBytes);
    sizes.appendBytes = gigabytes(args, "--append-gb", sizes.appendBytes);
    const qsizetype dirAt = args.indexOf(QStringLiteral("--dir"));
    sizes.directory = dirAt >= 0 && dirAt + 1 < args.size() ? args[dirAt + 1] : QDir::tempPath();

    QByteArray chunk(4096, Qt::Uninitialized);
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char((i * 7919) & 0xff);
    const auto *bytes = reinterpret_cast<const uchar *>(chunk.constData());

    std::printf("| %-52s | %19s | %-22s |\n", "figure", "measured", "goal");
    std::printf("|%s|%s|%s|\n", QByteArray(54, '-').constData(), QByteArray(21, '-').constData(),
                QByteArray(24, '-').constData());

    LogViewBench::runDiskRows(sizes);

    const qint64 rssBefore = residentBytes();
    auto view = std::make_unique<LogView>();
    view->resize(481, 321);
    view->show();
    Renderer renderer;
    QElapsedTimer timer;
    timer.start();
    for (qint64 received = 0; received < receivedTotal; received += chunk.size()) {
        renderer.feed(*view, bytes, chunk.size());
        QCoreApplication::processEvents();
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    row("append, 4 KB chunks: received bytes", mb(receivedTotal) / seconds, "MB/s", ">= 20 MB/s");
    row("append, 4 KB chunks: text", mb(view->length()) / seconds, "MB/s", "~60 MB/s");
    const qint64 rssAfter = residentBytes();
    row("resident memory per received byte", double(rssAfter - rssBefore) / receivedTotal, "B",
        "<= 5 B");
    row("resident memory per byte of text", double(rssAfter - rssBefore) / view->length(), "B",
        "<= 1.7 B");

    timer.restart();
    const QByteArray whole = view->text();
    row("text() of the whole text", timer.nsecsElapsed() / 1e6, "ms", "");
    view.reset();

    QByteArray load = whole.left(100000000);
    LogView loaded;
    loaded.resize(481, 321);
    loaded.show();
    QCoreApplication::processEvents();
    timer.restart();
    loaded.setText(load);
    load.clear();
    while (loaded.verticalScrollBar()->maximum() == 0)
        QCoreApplication::processEvents();
    loaded.viewport()->repaint();
    row("setText of 100 MB to first paint", timer.nsecsElapsed() / 1e6, "ms", "well under 1000 ms");

    // The size the view has in the window at 96 dpi; a steady stream repaints it whole.
    loaded.resize(650, 434);
    QCoreApplication::processEvents();
    constexpr int Repaints = 200;
    timer.restart();
    for (int i = 0; i < Repaints; ++i)
        loaded.viewport()->repaint();
    row("repaint of the whole view, 650 x 434 px", timer.nsecsElapsed() / 1e3 / Repaints, "us", "");

    LogView single;
    single.resize(481, 321);
    single.show();
    qint64 items = 0;
    timer.restart();
    while (timer.elapsed() < 3000) {
        for (int i = 0; i < 64; ++i, ++items) {
            renderer.feed(single, bytes + (items & 0xfff), 1);
            QCoreApplication::processEvents();
        }
    }
    row("append, one byte per event", items / 1e3 / (timer.nsecsElapsed() / 1e9), "KB/s",
        ">= 200 KB/s");
    return 0;
}
