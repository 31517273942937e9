#include "app/form1.h"

#include <QLabel>
#include <QLocale>
#include <QMenuBar>

namespace {

constexpr int kFiguresMs = 200;

} // namespace

// The figures stand in the menu bar's corner, where no control of the window is.
void Form1::createCaptureFigures()
{
    m_captureFigures = new QLabel(menuBar());
    m_captureFigures->setObjectName(QStringLiteral("captureFigures"));
    m_captureFigures->setContentsMargins(0, 0, 8, 0);
    m_captureFigures->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The menu bar places its corner by the width it is first given: room for large figures.
    m_captureFigures->setMinimumWidth(
        m_captureFigures->fontMetrics().horizontalAdvance(
            QStringLiteral("999,999,999,999 bytes, 99,999,999 bytes/s")) +
        8);
    m_captureFigures->hide();
    menuBar()->setCornerWidget(m_captureFigures, Qt::TopRightCorner);
    m_figuresTimer.setInterval(kFiguresMs);
    connect(&m_figuresTimer, &QTimer::timeout, this, &Form1::showCaptureFigures);
    m_figuresClock.start();
}

void Form1::startCaptureFigures()
{
    m_captureMeter.start(m_figuresClock.elapsed());
    showCaptureFigures();
    m_captureFigures->show();
    m_figuresTimer.start();
}

void Form1::countReceived(qint64 bytes)
{
    m_captureMeter.add(bytes, m_figuresClock.elapsed());
}

void Form1::showCaptureFigures()
{
    const QLocale c = QLocale::c();
    m_captureFigures->setText(
        QStringLiteral("%1 bytes, %2 bytes/s")
            .arg(c.toString(m_captureMeter.total()),
                 c.toString(m_captureMeter.bytesPerSecond(m_figuresClock.elapsed()))));
}

void Form1::stopCaptureFigures()
{
    m_figuresTimer.stop();
    m_captureFigures->hide();
}
