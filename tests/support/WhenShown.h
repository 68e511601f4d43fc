#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace testing_support {

// Runs f on the dialog of type T as soon as it is shown modally; fails the
// test when none is shown within about five seconds.
template <class T>
void whenShown(std::function<void(T*)> f)
{
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, f] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* d = qobject_cast<T*>(w); d && d->isVisible()) {
                timer->stop();
                timer->deleteLater();
                f(d);
                return;
            }
        }
        if (++*tries > 500) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "dialog " << T::staticMetaObject.className() << " never shown";
        }
    });
    timer->start(10);
}

} // namespace testing_support
