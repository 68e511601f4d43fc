#pragma once

#include <QString>

class QDialog;
class QKeyEvent;
class QWidget;
class TBrSpeedButton;

namespace fw {
class DataSource;
class DBLookupCombo;
}

// Pieces shared by the goods-line, payment and closing dialogs of the deal card.

// A text column of the settings row, trimmed; empty when the row is not open.
QString SdSettingText(const char* column);
// A hold button "Не изменять" of a money triple; the three of a dialog form one group.
TBrSpeedButton* SdHoldButton(QWidget* parent, const char* name);
// A lookup combo over a list; bound to a field when data is given.
fw::DBLookupCombo* SdLookupCombo(QWidget* parent, const char* name, fw::DataSource* list, const char* keyField,
                                 const char* listField, fw::DataSource* data = nullptr,
                                 const char* dataField = nullptr);
// Enter and Esc as the dialogs have them (DialogKeyDown); true when the key was one of them.
bool SdDialogKey(QDialog* dialog, QKeyEvent* e);
