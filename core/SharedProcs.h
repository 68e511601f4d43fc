#pragma once

#include "core/SqlText.h"

#include <QList>
#include <QString>
#include <QStringList>

class QDialog;
class QListWidget;
class QObject;
class QTabWidget;
class QToolBar;
class QToolButton;
class QUrl;
class QEvent;
class QWidget;

namespace fw {
class DataSet;
class Database;
class DBGrid;
class StoredProc;
}

// Set by the login dialog while Shift is held.
extern bool ShiftPressed;
// Set while Shift is held in the clients window; EditSQL clears it when it acts.
extern bool SqlEditArmed;

// The developer's editor of the client search, armed by both flags above:
// the SQL it shows, edited, or the SQL unchanged.
QString EditSQL(const QString& sql);

// Enter is OK and Esc is Cancel, unless the active control's drop-down is open.
void DialogKeyDown(QDialog* form, int key);
bool NoDropDownActive(QWidget* form);
// Esc empties a filter control and runs its click handler.
void ClearOnEsc(QWidget* control, int key);
// The shortcuts of the filter panels, for their event filters: Esc in a combo or list
// clears it (unless its list is open), and a click on a label puts the current user into
// the lookup that is its buddy. True when the event was one of them.
bool FilterPanelEvent(QObject* watched, QEvent* e);
void UncheckAll(QListWidget* list);
void ClearControl(QWidget* control);
void ClearPageControl(QTabWidget* pages);
// A tool button with its caption as hint, and image of dm's list when there is one (-1: text only).
QToolButton* AddToolButton(QToolBar* bar, const char* name, const QString& caption, int image = -1);
// Selects the grid's current column again.
void ReselectGridColumn(fw::DBGrid* grid);

// The pick-one dialog over a lookup table (kind 0 to 4); true when a value was chosen.
bool SelectValue(int kind, int& id, QString& text, const QString& where, const QString& caption);

void PostIfInsert(fw::DataSet& qry);
// The data set is open and holds a row.
bool HasRows(const fw::DataSet& ds);
// Deletes the current row, when there is one.
void RemoveCurrent(fw::DataSet& ds);
void PrepareQuery(fw::DataSet& ds);
// The money and goods-attribute columns titled with the names of the settings row.
void SetColumnTitles(fw::DBGrid* grid);

// A data module's queries are its fw::Query children; its stored procedures,
// which are no QObjects, it lists itself through this interface.
class TDataModuleProcs {
public:
    virtual ~TDataModuleProcs() = default;
    virtual QList<fw::StoredProc*> StoredProcs() = 0;
};
void CloseDataModule(QObject* module);

// The user is told whenever the desktop opens nothing for the link, also when it
// says so only after the call; false when that was known at once.
bool OpenLink(QWidget* window, const QString& link);
// Opens through the desktop; when nothing opens, says so with what (the text) and
// what exactly (the address or file) was to be opened. False when known at once.
bool OpenThroughDesktop(const QUrl& url, const QString& what);
// The help's table of contents, as OpenThroughDesktop.
bool OpenHelp();
QString GetWindowsVersion();
// One name per attachment; raises when the engine refuses the request.
QStringList GetAttachedUserNames(fw::Database& db);
// The names GetAttachedUserNames found last.
extern QStringList AttachedUsers;

// The values an import cut to the length of their field, counted by the field's
// caption, so that the import's closing message tells of each.
class TCutValues {
public:
    // value cut to size characters: counted under caption when it was longer.
    void Count(const QString& caption, qsizetype valueLength, int size);
    // Adds the counts of other (one line's, once it is written).
    void Add(const TCutValues& other);
    int Total() const { return total_; }
    // "Значений, обрезанных по длине поля: 3 (Компания: 2, Город: 1)."; empty when none was cut.
    QString Text() const;

private:
    QList<QPair<QString, int>> counts_;
    int total_ = 0;
};
