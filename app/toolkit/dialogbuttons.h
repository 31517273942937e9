#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

class QPushButton;

// A main window has no default or cancel button of its own: Enter presses the default button
// (or the button that holds the focus), Escape the cancel button, wherever the focus is.
class DialogButtons : public QObject
{
    Q_OBJECT
public:
    explicit DialogButtons(QWidget *window);

    void setDefault(QPushButton *button, bool isDefault);
    void setCancel(QPushButton *button) { m_cancel = button; }
    // Enter and Escape inside the area are the area's own (a find bar).
    void leaveKeysTo(QWidget *area) { m_ownKeys = area; }
    // Runs before Enter presses the default button.
    void setBeforeDefault(std::function<void()> step) { m_beforeDefault = std::move(step); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window = nullptr;
    QPushButton *m_default = nullptr;
    QPushButton *m_cancel = nullptr;
    std::function<void()> m_beforeDefault;
    QPointer<QWidget> m_ownKeys;
};
