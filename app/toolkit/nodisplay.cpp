#include "app/toolkit/nodisplay.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

struct HeldMessage
{
    QtMsgType type = QtDebugMsg;
    QByteArray category;
    QString text;
};

std::mutex s_lock;
QList<HeldMessage> s_held;

QByteArray reasonFor(const QString &fatal)
{
    // Qt's first word says what failed ("could not connect to display :5"); its last, only that
    // no plugin started.
    QByteArray reason = (s_held.isEmpty() ? fatal : s_held.first().text).trimmed().toLocal8Bit();
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        reason += " (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return reason;
}

void holdOrExit(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const std::lock_guard<std::mutex> guard(s_lock);
    if (type != QtFatalMsg) {
        s_held.append({type, QByteArray(context.category), text});
        return;
    }
    // Nothing is open yet: no file needs closing, and abort() would only add a core dump.
    std::fprintf(stderr, "tavrel: cannot open the window: %s\n", reasonFor(text).constData());
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

ExitWithoutDisplay::ExitWithoutDisplay() : m_previous(qInstallMessageHandler(holdOrExit)) {}

ExitWithoutDisplay::~ExitWithoutDisplay()
{
    qInstallMessageHandler(m_previous);
    QList<HeldMessage> held;
    {
        const std::lock_guard<std::mutex> guard(s_lock);
        held.swap(s_held);
    }
    for (const HeldMessage &message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        if (m_previous)
            m_previous(message.type, context, message.text);
    }
}
