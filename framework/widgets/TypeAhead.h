#pragma once

#include <QString>
#include <functional>

class QKeyEvent;

namespace fw {

// Type-ahead in a list: letters typed one after another look up the first line
// that begins with all of them; a pause longer than Pace starts a new search.
// Every list of the program (a grid's lookup list, a lookup combo, the draw
// grid's pick list) keeps this one pace.
class TypeAhead {
public:
    static constexpr int Pace = 4000;        // milliseconds
    static constexpr int MaxLength = 32;
    // The search text after ch was typed now.
    const QString& add(QChar ch);
    void clear() { text_.clear(); }
    // A printable character typed without Ctrl or Alt: a key that searches.
    static bool typed(const QKeyEvent* e);
    const QString& text() const { return text_; }
    // The first of count lines (textAt gives each) that begins with the search text; -1 for none.
    int find(int count, const std::function<QString(int)>& textAt) const;
    // Milliseconds of the clock the pauses are measured with (tests set it).
    static std::function<qint64()> clock;
private:
    QString text_;
    qint64 last_ = 0;
};

} // namespace fw
