#include "app/toolkit/windowloss.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QPointer>
#include <QWidget>
#include <cstdint>

namespace {

// The two X11 event layouts needed here, as the X protocol defines them.
constexpr uint8_t kDestroyNotify = 17;
struct DestroyNotifyEvent
{
    uint8_t responseType;
    uint8_t pad;
    uint16_t sequence;
    uint32_t event;
    uint32_t window;
};

class DestroyWatch : public QAbstractNativeEventFilter
{
public:
    DestroyWatch(QWidget *window, std::function<void()> handler)
        : m_window(window), m_handler(std::move(handler))
    {
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t" || !m_window)
            return false;
        const auto *event = static_cast<const DestroyNotifyEvent *>(message);
        if ((event->responseType & 0x7f) == kDestroyNotify &&
            event->window == uint32_t(m_window->internalWinId()) && !m_fired) {
            m_fired = true;
            // Not from inside the window system's own event handling.
            QMetaObject::invokeMethod(qApp, m_handler, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
    std::function<void()> m_handler;
    bool m_fired = false;
};

} // namespace

void onWindowDestroyedFromOutside(QWidget *window, std::function<void()> handler)
{
    static DestroyWatch *watch = nullptr;
    if (watch)
        QCoreApplication::instance()->removeNativeEventFilter(watch);
    delete watch;
    watch = new DestroyWatch(window, std::move(handler));
    QCoreApplication::instance()->installNativeEventFilter(watch);
}
