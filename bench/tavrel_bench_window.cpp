// The receiving side: the real window, driven through its controls, and what its view shows.
#include "logfile/logtext.h"
#include "tavrel_bench.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>

namespace Bench {

namespace {

// A key press that carries the time it was posted.
struct TimedKey : QKeyEvent
{
    explicit TimedKey(Qt::Key key) : QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier) {}
    qint64 postedNs = clockNs();
};

} // namespace

qint64 Window::open()
{
    const qint64 before = clockNs();
    m_fixture.start();
    // A new window starts its lines afresh.
    m_column = 1;
    form().Text1->installEventFilter(this);
    // After the window's own handler, so the view already shows what arrived.
    connect(&form().MSComm1, &CommControl::onComm, this, [this] {
        const qint64 length = view().length();
        if (length > m_shown.load())
            m_lastShownNs = clockNs();
        m_shown.store(length);
    });
    postKey();
    runUntil([this] { return !takeKeyDelays().empty(); }, 60000, 1);
    return clockNs() - before;
}

qint64 Window::stopNs()
{
    const qint64 before = clockNs();
    form().Command2->click();
    return clockNs() - before;
}

qint64 Window::lostBytes(qint64 sent) const
{
    const LogText &text = view().storage();
    qint64 wrong = 0;
    qint64 received = 0;
    int value = 0;
    int digits = 0;
    constexpr qint64 kPiece = 1 << 20;
    for (qint64 at = m_startLength; at < text.size(); at += kPiece) {
        for (const char c : text.mid(at, kPiece)) {
            if (c != ' ' && c != '\r' && c != '\n') {
                const int digit = int(QByteArrayView("0123456789ABCDEF").indexOf(c));
                value = ++digits <= 2 ? value * 16 + (digit < 0 ? 256 : digit) : 256;
                continue;
            }
            if (digits > 0) {
                wrong += received >= sent || value != streamByte(received);
                ++received;
            }
            value = digits = 0;
        }
    }
    return qMax<qint64>(sent - received, 0) + wrong;
}

bool Window::runUntil(const std::function<bool()> &done, int timeoutMs, int checkMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QTimer::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(checkMs);
    loop.exec();
    return done();
}

bool Window::eventFilter(QObject *watched, QEvent *event)
{
    auto *key = dynamic_cast<TimedKey *>(event);
    if (!key)
        return false;
    // Handled here in full, so the time includes the view's own work on the key.
    watched->event(event);
    m_keyDelays.push_back(clockNs() - key->postedNs);
    return true;
}

void Window::postKey(Qt::Key key)
{
    QCoreApplication::postEvent(form().Text1, new TimedKey(key));
}

} // namespace Bench
