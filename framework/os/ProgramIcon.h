#pragma once

#include <QColor>
#include <QIcon>

#include <functional>

class QPainter;

namespace fw {

// A program's icon drawn in code at the sizes a desktop asks for: a rounded
// square of the background colour, then what paint draws on it (s is the size).
QIcon paintedIcon(const QColor& background, const std::function<void(QPainter& p, qreal s)>& paint);

} // namespace fw
