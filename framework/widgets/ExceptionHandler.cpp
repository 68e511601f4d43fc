#include "ExceptionHandler.h"

#include "Dialogs.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/DbError.h"

namespace fw {

bool offerReconnect(const QString& text)
{
    // One offer at a time: whatever else finds the connection lost while it is
    // open (a window coming back to the front) is answered by it.
    static bool asking = false;
    if (asking) return false;
    asking = true;
    bool reconnected = false;
    try {
        if (dialogs().confirm(text + "\n\nПодключиться к серверу заново?", applicationTitle())) {
            Database::reconnectLost();
            reconnected = true;
        }
    } catch (...) {
        asking = false;
        // The server is still away: say so and let the user try again later.
        showException(std::current_exception());
        return false;
    }
    asking = false;
    return reconnected;
}

namespace {

// A conflict with another user's change: the message names the columns with
// both values, and the user may re-read the row to see what is stored now.
void offerReload(DataSet& ds, const QString& message)
{
    if (!dialogs().confirm(message + "\n\nОбновить запись? Ваши изменения будут отменены, "
                                     "и в окне будут данные, сохраненные другим пользователем.",
                           applicationTitle()))
        return;
    try {
        ds.cancel();
        ds.refreshRecord();
    } catch (...) {
        showException(std::current_exception());
    }
}

} // namespace

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
    } catch (const ConflictError& err) {
        auto* ds = qobject_cast<DataSet*>(err.dataSet());
        if (ds && !err.fields().isEmpty() && ds->state() == DataSetState::Edit) {
            offerReload(*ds, err.message());
            return;
        }
        text = err.message();
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
