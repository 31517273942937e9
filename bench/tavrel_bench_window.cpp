// The receiving side of the benchmark: the real window, driven as a user would, and watched.
#include "app/form1.h"
#include "app/logview/logview.h"
#include "app/toolkit/messagebox.h"
#include "tavrel_bench.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <deque>

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
        // Handled here in full, so the time taken includes the view's own work on the key.
        watched->event(event);
        const qint64 handled = nowNs();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_posted.empty()) {
            m_delays.push_back(handled - m_posted.front());
            m_posted.pop_front();
        }
        return true;
    }

    void posted(qint64 at)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_posted.push_back(at);
    }
    std::vector<qint64> delays() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_delays;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_delays.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::deque<qint64> m_posted;
    std::vector<qint64> m_delays;
};

} // namespace

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

bool Application::notify(QObject *receiver, QEvent *event)
{
    if (m_depth > 0 || (receiver != m_watched[0] && receiver != m_watched[1]))
        return QApplication::notify(receiver, event);
    ++m_depth;
    const qint64 before = nowNs();
    const bool result = QApplication::notify(receiver, event);
    m_watchedNs += nowNs() - before;
    --m_depth;
    return result;
}

void Application::watch(const QObject *first, const QObject *second)
{
    m_watched[0] = first;
    m_watched[1] = second;
}

namespace {
Application *benchApplication()
{
    return dynamic_cast<Application *>(QCoreApplication::instance());
}
} // namespace

Window::Window(const QString &directory) : m_previousDir(QDir::currentPath())
{
    QDir::setCurrent(directory);
    MessageBox::setResponder([this](const MessageBox::Shown &shown) {
        ++m_messageBoxes;
        m_lastMessage = shown.text;
        return shown.style == MessageBox::YesNoQuestion ? int(MessageBox::Yes)
                                                        : int(MessageBox::Ok);
    });
    m_keyWatch = std::make_unique<KeyWatch>();
}

Window::~Window()
{
    m_form.reset();
    MessageBox::setResponder({});
    QDir::setCurrent(m_previousDir);
}

void Window::open()
{
    const qint64 before = nowNs();
    m_form = std::make_unique<Form1>();
    m_constructNs = nowNs() - before;
    m_form->Text1->installEventFilter(m_keyWatch.get());
    // The window's receive handler, timed: the benchmark calls it in the window's stead.
    QObject::disconnect(&m_form->MSComm1, &CommControl::onComm, m_form.get(),
                        &Form1::MSComm1_OnComm);
    QObject::connect(&m_form->MSComm1, &CommControl::onComm, m_keyWatch.get(),
                     [this] { handleOnComm(); });
    if (Application *application = benchApplication())
        application->watch(m_form->Text1, m_form->Text1->viewport());
    m_form->show();
    postKey();
    runUntil([this] { return !keyDelaysNs().empty(); }, 60000, 1);
}

void Window::handleOnComm()
{
    const qint64 before = nowNs();
    m_form->MSComm1_OnComm();
    m_onCommNs += nowNs() - before;
    // The handler leaves the chunk it rendered in ReceivedData.
    const qsizetype size = m_form->ReceivedData.size();
    if (size == 0)
        return;
    ++m_events;
    m_singleByteEvents += size == 1;
    m_rendered.store(m_rendered.load() + size);
    m_lastRenderNs = nowNs();
}

bool Window::start(const Pty &pty)
{
    qputenv("TAVREL_PORT1", pty.devicePath().toLocal8Bit());
    m_form->Combo1->setCurrentText(QStringLiteral("1"));
    m_form->Combo5->setCurrentText(QStringLiteral("115200"));
    m_rendered.store(0);
    m_events = m_singleByteEvents = 0;
    m_onCommNs = 0;
    m_viewEventsAtStart = benchApplication() ? benchApplication()->watchedNs() : 0;
    m_capturedFrom = m_form->Text1->length();
    m_form->Command1->click();
    return m_form->MSComm1.portOpen();
}

qint64 Window::stopNs()
{
    const qint64 before = nowNs();
    m_form->Command2->click();
    return nowNs() - before;
}

qint64 Window::viewEventsNs() const
{
    return benchApplication() ? benchApplication()->watchedNs() - m_viewEventsAtStart : 0;
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
    auto *watch = static_cast<KeyWatch *>(m_keyWatch.get());
    watch->posted(nowNs());
    QCoreApplication::postEvent(m_form->Text1,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier));
}

std::vector<qint64> Window::keyDelaysNs() const
{
    return static_cast<KeyWatch *>(m_keyWatch.get())->delays();
}

void Window::clearKeyDelays()
{
    static_cast<KeyWatch *>(m_keyWatch.get())->clear();
}

} // namespace Bench
