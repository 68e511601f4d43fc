#pragma once

#include "controls/FormatSettings.h"
#include "support/Printers.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

// A fixed local clock for one test.
struct FixedClock {
    explicit FixedClock(QDate d, QTime t = QTime(10, 30))
    {
        SetLocalClock([d, t] { return QDateTime(d, t); });
    }
    ~FixedClock() { SetLocalClock({}); }
};

// Types text one key event per character (QTest::keyClicks aborts on Cyrillic).
inline void typeText(QWidget* w, const QString& text)
{
    for (QChar c : text) {
        Qt::Key key = Qt::Key_unknown;
        if (c.isDigit()) key = Qt::Key(Qt::Key_0 + c.digitValue());
        else if (c.isLetter() && c.unicode() < 128) key = Qt::Key(Qt::Key_A + (c.toUpper().unicode() - 'A'));
        else if (c == '.') key = Qt::Key_Period;
        else if (c == ',') key = Qt::Key_Comma;
        else if (c == '-') key = Qt::Key_Minus;
        else if (c == '+') key = Qt::Key_Plus;
        else if (c == '*') key = Qt::Key_Asterisk;
        else if (c == '/') key = Qt::Key_Slash;
        else if (c == '=') key = Qt::Key_Equal;
        else if (c == '%') key = Qt::Key_Percent;
        else if (c == ' ') key = Qt::Key_Space;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

inline void sendKey(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier,
                    const QString& text = QString())
{
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
}
