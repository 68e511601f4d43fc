#pragma once

#include <QApplication>
#include <exception>
#include <functional>
#include <utility>

namespace fw {

// Shows an exception the way the program shows every failure that reaches the
// user: an error box titled with the application title. Our errors show their
// message; any other exception is an internal error, its what() below the
// Russian text; Abort shows nothing.
// A lost connection is told and the user is asked whether to reconnect: the
// pending edits stay in their windows and are written by the next post.
void showException(std::exception_ptr e);
// Shows text (a lost connection) and, on Yes, reconnects what was lost; true
// when it did. While one offer is open, another is not shown.
bool offerReconnect(const QString& text);

// Runs an event handler; an exception that leaves it is shown. False when it
// threw, unless what failed came after a row was saved (RefreshError).
bool runGuarded(const std::function<void()>& handler);

// A slot for connect() that runs f guarded. It accepts only the arguments f
// does, so connect() drops the signal's surplus ones as for any functor.
template <class F>
auto guarded(F f)
{
    return [f = std::move(f)](auto&&... args)
               -> decltype(std::declval<const F&>()(std::forward<decltype(args)>(args)...), void()) {
        runGuarded([&] { f(std::forward<decltype(args)>(args)...); });
    };
}

// Exceptions that escape an event or a slot are shown instead of ending the program.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace fw
