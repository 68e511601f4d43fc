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
class DataSource;
class Query;
class DBLookupCombo;
}

// Pieces shared by the goods-line, payment and closing dialogs of the deal card.

// A text column of the settings row, trimmed; empty when the row is not open.
QString SdSettingText(const char* column);
// A hold button "Не изменять" of a money triple; the three of a dialog form one group.
TBrSpeedButton* SdHoldButton(QWidget* parent, const char* name);
// The rate edit of a money triple: rates carry four decimals (1,1046).
void SdRateEdit(TCustomNumEdit* edit);
// The money triple side by side in grid, one column each: caption, edit, hold button.
void SdMoneyColumns(QGridLayout* grid, std::initializer_list<std::tuple<QLabel*, QWidget*, TBrSpeedButton*>> columns);
// Walks the goods lines of dmKlSd without the payments following, and comes
// back to the line it started on.
void ForEachSale(const std::function<void(fw::Query&)>& f);
