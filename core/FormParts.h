#pragma once

#include "widgets/DBNavigator.h"
#include "widgets/DataSetModel.h"

#include <QList>
#include <QString>

class QDialog;
class QGridLayout;
class QLayout;
class QGroupBox;
class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolBar;
class QToolButton;
class QVBoxLayout;
class QWidget;
class TCustomDateEdit;
class TDBDateEdit;
class TDateEdit;

namespace fw {
class DataSource;
class DBEdit;
class DBGrid;
class DBLookupCombo;
}

// Small builders the windows share, so that a control of one kind is set up alike everywhere.

// A lookup combo over a list; bound to a field when data is given.
fw::DBLookupCombo* LookupCombo(QWidget* parent, const char* name, fw::DataSource* list, const char* keyField,
                               const char* listField, fw::DataSource* data = nullptr,
                               const char* dataField = nullptr);
// A lookup of a filter panel or a card, at least minWidth wide: unbound, or bound to the field of
// data named as the list's key.
fw::DBLookupCombo* Lookup(QWidget* parent, const char* name, fw::DataSource* list, const char* keyField,
                          const char* listField, int minWidth = 160, fw::DataSource* data = nullptr);
// An edit bound to a field, taking at most maxLength characters when given.
fw::DBEdit* FieldEdit(QWidget* parent, const char* name, fw::DataSource* data, const char* field, int maxLength = 0);
// A date edit bound to a field, set up as every date field (SetupDateEdit).
TDBDateEdit* FieldDateEdit(QWidget* parent, const char* name, fw::DataSource* data, const char* field);
// A data grid over a source, with its columns.
fw::DBGrid* Grid(QWidget* parent, const char* name, fw::DataSource* source, const QList<fw::GridColumn>& columns);
// A grid column the user cannot edit.
fw::GridColumn ReadOnlyColumn(const QString& field, const QString& title, int width = 0);
// A navigator with the given buttons, its post and cancel hinted.
fw::DBNavigator* Navigator(QWidget* parent, const char* name, fw::DataSource* source,
                           fw::DBNavigator::Buttons buttons, const QString& postHint = QStringLiteral("Запомнить"),
                           const QString& cancelHint = QStringLiteral("Отменить"));
// A tool bar of 16-pixel icons.
QToolBar* ToolBar(QWidget* parent, const char* name);
// A small button beside an edit, for the mouse: Tab goes on to the next edit.
QToolButton* SideButton(QWidget* parent, const char* name, const QString& hint, const QString& text);
// An edit with its button on the right.
QHBoxLayout* Pair(QWidget* edit, QWidget* button);
// A caption in column and its field (a widget or a layout of them) to its right over span columns, in
// one row of a form's grid; the caption is parent's.
void FormField(QGridLayout* grid, QWidget* parent, int row, int column, const QString& caption, QWidget* field,
               int span = 1);
void FormField(QGridLayout* grid, QWidget* parent, int row, int column, const QString& caption, QLayout* field,
               int span = 1);
// A named group box.
QGroupBox* Group(QWidget* parent, const char* name, const QString& caption);
// A named page added to a tab widget; the column of a page, close to its edges; a page by name.
QWidget* Page(QTabWidget* pages, const char* name, const QString& caption);
QVBoxLayout* PageLayout(QWidget* page);
QWidget* PageByName(QTabWidget* pages, const QString& name);
// A label; named when a name is given.
QLabel* Caption(QWidget* parent, const QString& text, const char* name = nullptr);
// A named radio button.
QRadioButton* Radio(QWidget* parent, const char* name, const QString& text);
// The settings every date field of the windows shares: Saturday and Sunday drawn as weekends,
// four-digit years, and a typed date checked when the field is left.
void SetupDateEdit(TCustomDateEdit* edit);
// A date edit of a filter panel; the panels give all of them one width.
TDateEdit* DateEdit(QWidget* parent, const char* name);
// The OK and "Отмена" buttons of a dialog, right-aligned in the row returned. OK is the default button;
// a focused Cancel leaves Enter to it. Cancel rejects the dialog; what OK does is the caller's.
QHBoxLayout* OkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel,
                         const QString& okCaption = QStringLiteral("OK"));
// Enter and Esc as the dialogs have them (DialogKeyDown); true when the key was one of them.
bool DialogKey(QDialog* dialog, QKeyEvent* e);
// A password field: every character shown as "*" (until the echo mode is changed).
void PasswordEdit(QLineEdit* edit);
// The margin-less column of a window with its tool bar (16-pixel icons) on top; returns the column.
QVBoxLayout* ToolBarColumn(QWidget* window, QToolBar*& toolBar, const char* name = "ToolBar");
