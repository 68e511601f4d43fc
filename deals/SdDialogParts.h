#pragma once

#include <QString>

#include <functional>
#include <initializer_list>
#include <tuple>

class QDialog;
class QGridLayout;
class QKeyEvent;
class QLabel;
class QWidget;
class TBrSpeedButton;
class TCustomNumEdit;

namespace fw {
class DataSet;
class DataSource;
class Query;
class DBLookupCombo;
}

// Pieces shared by the goods-line, payment and closing dialogs of the deal card.

// A text column of the settings row, trimmed; empty when the row is not open.
QString SdSettingText(const char* column);
// A hold button "Не изменять" of a money triple; the three of a dialog form one group.
TBrSpeedButton* SdHoldButton(QWidget* parent, const char* name);
// The decimals a money column keeps: its field's, once the data set has been
// open; otherwise the two of the schema's money columns.
int SdStoredDecimals(const fw::DataSet& ds, const char* column);
// An edit of a money triple takes and shows as many decimals as its column
// keeps, so that a rate typed or shown is the rate stored.
void SdMoneyEdit(TCustomNumEdit* edit, int decimals);
// The money triple side by side in grid, one column each: caption, edit, hold button.
void SdMoneyColumns(QGridLayout* grid, std::initializer_list<std::tuple<QLabel*, QWidget*, TBrSpeedButton*>> columns);
// Walks the goods lines of dmKlSd without the payments following, and comes
// back to the line it started on.
void ForEachSale(const std::function<void(fw::Query&)>& f);
