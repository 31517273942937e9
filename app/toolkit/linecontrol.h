#pragma once

#include <QWidget>

// A horizontal line from the left edge of its parent to X2, drawn in the workspace colour.
class LineControl : public QWidget
{
    Q_OBJECT
public:
    explicit LineControl(QWidget *parent = nullptr);
    void setX2Pixels(int x2);

protected:
    void paintEvent(QPaintEvent *event) override;
};
