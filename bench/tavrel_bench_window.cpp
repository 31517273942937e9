// The receiving side: the real window, driven through its controls, and what its view shows.
#include "capture/hexrender.h"
#include "logfile/logtext.h"
#include "support/capturestate.h"
#include "tavrel_bench.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <deque>
#include <mutex>

namespace Bench {

namespace {

// Times each posted key press from its posting to the end of its handling.
class KeyWatch : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        // Handled here in full, so the time includes the view's own work on the key.
        watched->event(event);
        const qint64 handled = nowNs();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_posted.empty()) {
            m_delays.push_back(handled - m_posted.front());
            m_posted.pop_front();
        }
        return true;
    }
    void post(QObject *target)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_posted.push_back(nowNs());
        }
        QCoreApplication::postEvent(target,
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier));
    }
    std::vector<qint64> takeDelays()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_delays, {});
    }

private:
    std::mutex m_mutex;
    std::deque<qint64> m_posted;
    std::vector<qint64> m_delays;
};

KeyWatch *keyWatch(const std::unique_ptr<QObject> &object)
{
    return static_cast<KeyWatch *>(object.get());
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

} // namespace

Window::Window() : m_keyWatch(std::make_unique<KeyWatch>()) {}

Window::~Window() = default;

qint64 Window::open()
{
    const qint64 before = nowNs();
    m_fixture.start();
    m_hasCaptured = false;
    form().Text1->installEventFilter(m_keyWatch.get());
    // After the window's own handler, so the view already shows what arrived.
    QObject::connect(&form().MSComm1, &CommControl::onComm, m_keyWatch.get(),
                     [this] { noteShown(); });
    postKey();
    runUntil([this] { return !takeKeyDelays().empty(); }, 60000, 1);
    return nowNs() - before;
}

void Window::exit()
{
    form().Command4_Click();
    m_fixture.form.reset();
}

bool Window::start(PseudoTerminal &terminal)
{
    qputenv("TAVREL_PORT1", terminal.devicePath().toLocal8Bit());
    form().Combo1->setCurrentText(QStringLiteral("1"));
    form().Combo5->setCurrentText(QStringLiteral("115200"));
    // A new window starts its items in column 1; later captures go on where the view's text is.
    m_column = m_hasCaptured ? nextColumn() : 1;
    m_perLine = qMax(1, int(lineCapacity(form().text1Width())));
    m_startLength = view().length();
    m_shown.store(m_startLength);
    m_lastShownNs = nowNs();
    form().Command1->click();
    return capturing(form());
}

qint64 Window::stopNs()
{
    const qint64 before = nowNs();
    form().Command2->click();
    return nowNs() - before;
}

void Window::noteShown()
{
    const qint64 length = view().length();
    if (length > m_shown.load()) {
        m_lastShownNs = nowNs();
        m_hasCaptured = true;
    }
    m_shown.store(length);
}

int Window::nextColumn() const
{
    const LogText &text = m_fixture.view()->storage();
    const qint64 from = qMax<qint64>(0, text.size() - 4096);
    const QByteArray tail = text.mid(from, text.size() - from);
    const qsizetype lineEnd = tail.lastIndexOf("\r\n");
    return int(tail.mid(lineEnd < 0 ? 0 : lineEnd + 2).count(' ')) + 1;
}

Receiver Window::receiver()
{
    // Called from the feed's thread: the column is the feed's alone while it runs.
    const auto cost = [this](QByteArrayView chunk) {
        qint64 length = 0;
        for (const char c : chunk) {
            length += uchar(c) < 16 ? 2 : 3;
            if (++m_column > m_perLine) {
                m_column = 1;
                length += 2;
            }
        }
        return length;
    };
    return Receiver{[this] { return m_shown.load() - m_startLength; }, cost};
}

qint64 Window::lostBytes(qint64 sent) const
{
    const LogText &text = m_fixture.view()->storage();
    qint64 wrong = 0;
    qint64 received = 0;
    int value = 0;
    int digits = 0;
    constexpr qint64 kPiece = 1 << 20;
    for (qint64 at = m_startLength; at < text.size(); at += kPiece) {
        for (const char c : text.mid(at, kPiece)) {
            if (c != ' ' && c != '\r' && c != '\n') {
                const int digit = hexDigit(c);
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

QString Window::lastMessage() const
{
    return m_fixture.boxes.isEmpty() ? QString() : m_fixture.boxes.last().text;
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

void Window::postKey()
{
    keyWatch(m_keyWatch)->post(form().Text1);
}

std::vector<qint64> Window::takeKeyDelays()
{
    return keyWatch(m_keyWatch)->takeDelays();
}

} // namespace Bench
