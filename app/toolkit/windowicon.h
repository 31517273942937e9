#pragma once

#include <QIcon>
#include <QImage>

// Tavrel's icon, drawn rather than shipped: a white plug on a grey cable, a red arrow upwards.
QImage drawTavrelIcon(int size);
QIcon tavrelIcon();
