#include "logview.h"
// Placeholder until the view lands.
LogView::LogView(QWidget *parent) : QAbstractScrollArea(parent) {}
LogView::~LogView() = default;
QByteArray LogView::text() const { return {}; }
QList<QByteArrayView> LogView::textPieces() const { return {}; }
qsizetype LogView::length() const { return 0; }
void LogView::setText(QByteArray) {}
qsizetype LogView::selStart() const { return 0; }
qsizetype LogView::selLength() const { return 0; }
QByteArray LogView::selText() const { return {}; }
void LogView::setSelStart(qsizetype) {}
void LogView::setSelText(QByteArrayView) {}
void LogView::selectAll() {}
void LogView::copy() const {}
