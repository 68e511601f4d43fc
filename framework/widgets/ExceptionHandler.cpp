#include "ExceptionHandler.h"

#include "Dialogs.h"
#include "db/Database.h"
#include "db/DbError.h"

namespace fw {

void offerReconnect(const QString& text)
{
    try {
        if (!dialogs().confirm(text + "\n\nПодключиться к серверу заново?", applicationTitle())) return;
        Database::reconnectLost();
    } catch (...) {
        // The server is still away: say so and let the user try again later.
        showException(std::current_exception());
    }
}

void showException(std::exception_ptr e)
{
    if (!e)
        return;
    QString text;
    try {
        std::rethrow_exception(e);
    } catch (const Abort&) {
        return;
    } catch (const DbError& err) {
        text = err.message();
        if (!err.detail().isEmpty()) text += "\n\nПодробности: " + err.detail();
        if (err.kind() == DbErrorKind::ConnectionLost) {
            offerReconnect(text);
            return;
        }
    } catch (const Error& err) {
        text = err.message();
    } catch (const std::exception& err) {
        text = QString::fromUtf8(err.what());
    } catch (...) {
        text = "Неизвестная ошибка";
    }
    try {
        dialogs().error(text, applicationTitle());
    } catch (...) {
        // Nothing more can be shown; the program goes on.
    }
}

bool runGuarded(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (...) {
        showException(std::current_exception());
        return false;
    }
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showException(std::current_exception());
        return false;
    }
}

} // namespace fw
