#include "TypeAhead.h"

#include <QElapsedTimer>
#include <QKeyEvent>

namespace fw {

std::function<qint64()> TypeAhead::clock;

const QString& TypeAhead::add(QChar ch)
{
    static QElapsedTimer since;
    if (!since.isValid()) since.start();
    const qint64 now = clock ? clock() : since.elapsed();
    if (now - last_ > Pace) text_.clear();
    last_ = now;
    if (text_.size() < MaxLength) text_ += ch;
    return text_;
}

bool TypeAhead::typed(const QKeyEvent* e)
{
    const Qt::KeyboardModifiers m = e->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    return m == Qt::NoModifier && !e->text().isEmpty() && e->text().at(0).isPrint();
}

int TypeAhead::find(int count, const std::function<QString(int)>& textAt) const
{
    if (text_.isEmpty()) return -1;
    for (int i = 0; i < count; ++i)
        if (textAt(i).startsWith(text_, Qt::CaseInsensitive)) return i;
    return -1;
}

} // namespace fw
