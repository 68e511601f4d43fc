#include "ExceptionHandler.h"

#include "Dialogs.h"
#include "FieldLabels.h"
#include "TypeAhead.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/DbError.h"

#include <QPointer>
#include <QWidget>

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

// The columns of a conflict named as the window the user works in names them.
QList<ConflictField> shownFields(const ConflictError& err)
{
    QList<ConflictField> fields = err.fields();
    if (auto* ds = qobject_cast<DataSet*>(err.dataSet()))
        for (ConflictField& f : fields)
            if (!f.name.isEmpty()) f.label = fieldCaption(*ds, f.name);
    return fields;
}

// A refused character named by the field it was typed into: the field of the
// row being written, else the control of the window whose text holds it (a
// search value). That control gets the focus back, so the user can mend it.
QString codePageText(const CodePageError& err, QPointer<QWidget>& control)
{
    if (auto* ds = qobject_cast<DataSet*>(err.dataSet()); ds && !err.fieldName().isEmpty())
        return err.relabelled(fieldCaption(*ds, err.fieldName())).message();
    if (!err.label().isEmpty()) return err.message();
    control = controlHoldingText(err.text().mid(err.position(), err.text().at(err.position()).isHighSurrogate() ? 2 : 1));
    const QString caption = controlCaption(control);
    return caption.isEmpty() ? err.message() : err.relabelled(caption).message();
}

} // namespace

void showException(std::exception_ptr e)
{
    if (!e)
        return;
    QString text;
    QPointer<QWidget> control;
    try {
        std::rethrow_exception(e);
    } catch (const Abort&) {
        return;
    } catch (const CodePageError& err) {
        text = err.position() >= 0 && err.position() < err.text().size() ? codePageText(err, control) : err.message();
    } catch (const RefreshError& err) {
        text = err.message();
        if (err.connectionLost()) {
            offerReconnect(text);
            return;
        }
    } catch (const DbError& err) {
        text = err.shownText();
        if (err.kind() == DbErrorKind::ConnectionLost) {
            offerReconnect(text);
            return;
        }
    } catch (const ConflictError& err) {
        auto* ds = qobject_cast<DataSet*>(err.dataSet());
        const QString message = err.fields().isEmpty() ? err.message() : ConflictError::describe(shownFields(err));
        if (ds && !err.fields().isEmpty() && ds->state() == DataSetState::Edit) {
            offerReload(*ds, message);
            return;
        }
        text = message;
    } catch (const Error& err) {
        text = err.message();
    } catch (const std::exception& err) {
        text = InternalError(QString::fromUtf8(err.what())).message();
    } catch (...) {
        text = InternalError("an exception of an unknown type").message();
    }
    try {
        dialogs().error(text, applicationTitle());
        if (control && control->isVisible()) control->setFocus(Qt::OtherFocusReason);
    } catch (...) {
        // Nothing more can be shown; the program goes on.
    }
}

bool runGuarded(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (const RefreshError&) {
        // Done: only what the windows show could not be brought up to date.
        showException(std::current_exception());
        return true;
    } catch (...) {
        showException(std::current_exception());
        return false;
    }
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    fitDialogTitles();
    // Plain lists and combos search with Qt's own type-ahead: give it the program's pace.
    setKeyboardInputInterval(TypeAhead::Pace);
}

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
