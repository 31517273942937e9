// Prints how fast the log view takes hex text and how much memory it holds; never fails.
#include "logview.h"
#include "residentmemory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <cstdio>

namespace {
constexpr int ItemsPerLine = 28;

// Renders received bytes as the capture does: one insert per item and per line break.
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
        for (qsizetype i = 0; i < count; ++i) {
            view.setSelText(m_items[bytes[i]]);
            if (++m_column > ItemsPerLine) {
                m_column = 1;
                view.setSelText("\r\n");
            }
        }
    }

private:
    QByteArray m_items[256];
    int m_column = 1;
};

double mb(qint64 bytes)
{
    return bytes / 1e6;
}

void row(const char *figure, double value, const char *unit, const char *goal)
{
    std::printf("| %-46s | %12.2f %-6s | %-22s |\n", figure, value, unit, goal);
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 receivedTotal = argc > 1 ? QByteArray(argv[1]).toLongLong() * 1000000 : 100000000;

    QByteArray chunk(4096, Qt::Uninitialized);
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char((i * 7919) & 0xff);
    const auto *bytes = reinterpret_cast<const uchar *>(chunk.constData());

    std::printf("| %-46s | %19s | %-22s |\n", "figure", "measured", "goal");
    std::printf("|%s|%s|%s|\n", QByteArray(48, '-').constData(), QByteArray(21, '-').constData(),
                QByteArray(24, '-').constData());

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
    timer.restart();
    qsizetype pieceBytes = 0;
    for (QByteArrayView piece : view->textPieces())
        pieceBytes += piece.size();
    row("textPieces() of the whole text", timer.nsecsElapsed() / 1e6, "ms", "no copy");
    if (pieceBytes != whole.size())
        std::printf("textPieces() covers %lld of %lld bytes\n", qlonglong(pieceBytes),
                    qlonglong(whole.size()));
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
