// The View menu: arrival times beside the log, quiet gaps marked in it and the received bytes as
// characters, drawn by the log view and never part of the text.
#include "app/form1.h"
#include "app/keepertimes.h"
#include "app/logview/logview.h"

#include <QActionGroup>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>

void Form1::createViewMenu()
{
    mnuView = menuBar()->addMenu("&View");
    mnuViewArrivalTimes = mnuView->addAction("Arrival Times");
    mnuViewArrivalTimes->setCheckable(true);
    auto *formats = new QActionGroup(mnuView);
    mnuViewTimeOfDay = formats->addAction("Time of Day");
    mnuViewSinceStart = formats->addAction("Seconds since Start");
    mnuViewSincePrevious = formats->addAction("Gap since Previous Row");
    for (QAction *format : formats->actions()) {
        format->setCheckable(true);
        mnuView->addAction(format);
    }
    mnuView->addSeparator();
    mnuViewQuietGaps = mnuView->addAction("Quiet Gap Marks");
    mnuViewQuietGaps->setCheckable(true);
    mnuViewGapThreshold = mnuView->addAction("Quiet Gap Threshold...");
    mnuView->addSeparator();
    mnuViewCharacters = mnuView->addAction("Characters");
    mnuViewCharacters->setCheckable(true);
    mnuViewCopyCharacters = mnuView->addAction("Copy Characters");
    mnuViewCopyCharacters->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));

    connect(mnuViewArrivalTimes, &QAction::triggered, this, &Form1::mnuViewArrivalTimes_Click);
    connect(formats, &QActionGroup::triggered, this, &Form1::mnuViewTimeFormat_Click);
    connect(mnuViewQuietGaps, &QAction::triggered, this, &Form1::mnuViewQuietGaps_Click);
    connect(mnuViewGapThreshold, &QAction::triggered, this, &Form1::mnuViewGapThreshold_Click);
    connect(mnuViewCharacters, &QAction::triggered, this, &Form1::mnuViewCharacters_Click);
    connect(mnuViewCopyCharacters, &QAction::triggered, this, &Form1::mnuViewCopyCharacters_Click);
}

void Form1::showArrivalTimes()
{
    if (m_keeper) {
        m_keeperTimes = std::make_unique<KeeperTimes>(*m_keeper);
        Text1->setArrivalTimes(m_keeperTimes.get());
    }
    m_view = ViewSettings::load();
    applyViewSettings();
}

void Form1::applyViewSettings()
{
    mnuViewArrivalTimes->setChecked(m_view.arrivalTimes);
    mnuViewTimeOfDay->setChecked(m_view.format == TimeFormat::TimeOfDay);
    mnuViewSinceStart->setChecked(m_view.format == TimeFormat::SinceStart);
    mnuViewSincePrevious->setChecked(m_view.format == TimeFormat::SincePrevious);
    mnuViewQuietGaps->setChecked(m_view.quietGaps);
    mnuViewGapThreshold->setText(
        QString("Quiet Gap Threshold (%1 ms)...").arg(m_view.gapThresholdMs));
    Text1->setTimeColumn(m_view.arrivalTimes ? std::optional(m_view.format) : std::nullopt);
    Text1->setQuietGapMarks(m_view.quietGaps ? std::optional(m_view.gapThresholdMs) : std::nullopt);
    mnuViewCharacters->setChecked(m_view.characters);
    Text1->setCharacterColumn(m_view.characters);
}

void Form1::mnuViewArrivalTimes_Click()
{
    m_view.arrivalTimes = mnuViewArrivalTimes->isChecked();
    m_view.save();
    applyViewSettings();
}

void Form1::mnuViewTimeFormat_Click()
{
    m_view.format = mnuViewSinceStart->isChecked()      ? TimeFormat::SinceStart
                    : mnuViewSincePrevious->isChecked() ? TimeFormat::SincePrevious
                                                        : TimeFormat::TimeOfDay;
    // Choosing a format asks for the column.
    m_view.arrivalTimes = true;
    m_view.save();
    applyViewSettings();
}

void Form1::mnuViewQuietGaps_Click()
{
    m_view.quietGaps = mnuViewQuietGaps->isChecked();
    m_view.save();
    applyViewSettings();
}

void Form1::mnuViewGapThreshold_Click()
{
    bool ok = false;
    const int threshold = QInputDialog::getInt(
        this, appTitle(),
        "Mark where the line was quiet for longer than (ms):", m_view.gapThresholdMs,
        ViewSettings::MinimumGapMs, ViewSettings::MaximumGapMs, 10, &ok);
    if (!ok)
        return;
    m_view.gapThresholdMs = threshold;
    // Setting a threshold asks for the marks.
    m_view.quietGaps = true;
    m_view.save();
    applyViewSettings();
}

void Form1::mnuViewCharacters_Click()
{
    m_view.characters = mnuViewCharacters->isChecked();
    m_view.save();
    applyViewSettings();
}

void Form1::mnuViewCopyCharacters_Click()
{
    Text1->copyCharacters();
}
