#pragma once

#include <QString>

class QDialog;
class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolBar;
class QVBoxLayout;
class QWidget;
class TCustomDateEdit;
class TDateEdit;

namespace fw {
class DataSource;
class DBLookupCombo;
}

// Small builders the windows share, so that a control of one kind is set up alike everywhere.

// A lookup combo over a list; bound to a field when data is given.
fw::DBLookupCombo* LookupCombo(QWidget* parent, const char* name, fw::DataSource* list, const char* keyField,
                               const char* listField, fw::DataSource* data = nullptr,
                               const char* dataField = nullptr);
// An unbound lookup of a filter panel, at least minWidth wide.
fw::DBLookupCombo* FilterLookup(QWidget* parent, const char* name, fw::DataSource* list, const char* keyField,
                                const char* listField, int minWidth);
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
