#include "app/toolkit/windowicon.h"

#include <QPainter>
#include <QPainterPath>

QImage drawTavrelIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, size > 16);
    p.scale(size / 32.0, size / 32.0);

    // Cable from the bottom edge into the plug.
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 31), QPointF(11, 22));
    // Plug body with two pins.
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4.5, 11.5, 13, 11), 2, 2);
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawRect(QRectF(7, 6, 2.5, 5.5));
    p.drawRect(QRectF(12.5, 6, 2.5, 5.5));
    // Red arrow pointing up.
    QPainterPath arrow;
    arrow.moveTo(25, 2);
    arrow.lineTo(31, 11);
    arrow.lineTo(27.5, 11);
    arrow.lineTo(27.5, 24);
    arrow.lineTo(22.5, 24);
    arrow.lineTo(22.5, 11);
    arrow.lineTo(19, 11);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0x80, 0, 0), 1));
    p.setBrush(QColor(0xE0, 0x20, 0x20));
    p.drawPath(arrow);
    return image;
}

QIcon tavrelIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(drawTavrelIcon(32)));
    icon.addPixmap(QPixmap::fromImage(drawTavrelIcon(16)));
    return icon;
}
