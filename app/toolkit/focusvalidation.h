#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <functional>

class QComboBox;
class QWidget;

// Runs a combo box's validation when the focus is about to move from it to another control of
// the same window: before that control's own events, since a control takes the focus on press.
// Not when the focus leaves for another window or a menu, nor when the box itself is disabled.
class FocusValidation : public QObject
{
    Q_OBJECT
public:
    explicit FocusValidation(QWidget *window);

    void watch(QComboBox *box, const std::function<void()> &validate);
    // An access key presses its button without a click: let the button take the focus first.
    void focusOnAccessKey(QWidget *button);
    // The box that holds the focus, if it is one of the watched ones.
    QComboBox *focusedBox() const;
    void validate(QComboBox *box);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QComboBox *watchedBoxOf(QWidget *widget) const;
    void focusChanged(QWidget *old, QWidget *now);

    QWidget *m_window = nullptr;
    QHash<QComboBox *, std::function<void()>> m_validators;
    // The box the focus left for the menu bar; it is validated if the focus moves on elsewhere.
    QPointer<QComboBox> m_boxBeforeMenuBar;
};
