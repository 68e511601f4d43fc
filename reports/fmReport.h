#pragma once

#include "reports/dmRep.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

class QComboBox;
class QListWidget;
class QPainter;
class QPushButton;
class QRect;
class QTabBar;
class QTabWidget;
class QTableWidget;
class QToolBar;
class QToolButton;
class TDateEdit;
class TReportChart;
namespace fw {
class DBGrid;
class DBRadioGroup;
} // namespace fw

// A restriction value: its key and its parent's key. One object is shared by
// whichever lists of its restriction hold the value.
struct TIdGr {
    int Id = 0;
    int GroupId = 0;
};

struct TOgrItem {
    QString Name;
    TIdGr* Object = nullptr;
};
using TOgrItems = QList<TOgrItem>;

// One restriction: a reference table whose chosen values narrow the rows.
struct TOgrRec {
    bool Loaded = false;
    QString Caption;
    QString TableName;
    QString IdField;
    QString ParentField;        // empty when the values have no parent
    QString NameField;
    TOgrItems AllItems;         // every value not chosen
    TOgrItems FromItems;        // the values not chosen that pass the parent filter
    TOgrItems ToItems;          // the chosen values, in the order chosen
    QList<QPair<QString, int>> FilterItems;   // parent names with their keys
    QString FilterSQL;
    int FilterIndex = -2;       // -2 no filter, -1 filter without a choice, else the cbFilter item
    QString PrefixOplata;
    QString SuffixOplata;
    QString PrefixSdelka;
    QString SuffixSdelka;
    std::vector<std::unique_ptr<TIdGr>> Objects;   // owns the values' TIdGr

    // The condition of the chosen values for the mode; empty when none is chosen.
    QString Condition(bool money) const;
};

// The slices and the restrictions, filled again by every creation of the window.
extern QList<TRazrezRec> RazrezRecs;
extern std::vector<TOgrRec> OgrRecs;

// The pivot report over payments or goods quantities, broken down by a slice
// and by sub-periods, narrowed by restrictions; with a chart and a detail list.
class TfmReport : public QWidget {
    Q_OBJECT
public:
    explicit TfmReport(QWidget* owner = nullptr);
    ~TfmReport() override;

    QToolBar* ToolBar;
    QToolButton* tbZapros;
    QToolButton* ToolButton1;
    QToolButton* tbGoToKar;
    QToolButton* tbExport;

    QTabWidget* pcMain;
    QWidget* tsParams;
    QComboBox* cbRazrez;
    TDateEdit* deFrom;
    TDateEdit* deTo;
    fw::DBRadioGroup* rgType;
    fw::DBRadioGroup* rgMoney;
    QComboBox* cbInterval;
    fw::DBRadioGroup* rgSort;

    QWidget* tsOgr;
    QTabBar* tcOgr;
    QComboBox* cbFilter;
    QListWidget* lbFrom;
    QListWidget* lbTo;
    QPushButton* btnAdd;
    QPushButton* btnDel;
    QPushButton* btnAddAll;
    QPushButton* btnDelAll;

    QWidget* tsResult;
    QTabWidget* pcResult;
    QWidget* tsSvod;
    QTableWidget* sgRazrez;
    QWidget* tsGraphic;
    TReportChart* ReportChart;
    QWidget* tsDetal;
    fw::DBGrid* dbgDetal;

    // name=label of the detail columns.
    QStringList DetalLabels;
    // The slice key of each table row 1..n.
    QList<int> RowIds;

    void FormCreate();
    void FormShow();
    void FormDestroy();
    void tbZaprosClick();
    void rgTypeClick();
    void tsOgrShow();
    void tcOgrChange();
    void cbFilterClick();
    void btnAddClick();
    void btnAddAllClick();
    void btnDelClick();
    void btnDelAllClick();
    void ToolButton2Click();
    void tsDetalShow();
    void tbGoToKarClick();
    void tbExportClick();
    void sgRazrezDrawCell(QPainter& painter, const QRect& rect, int col, int row);

    void MoveToSelected(int i);
    void MoveToAvailable(int i);

    // The run's inputs as the parameters page and the restrictions have them.
    TRepParams Params() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fillRazrez();
    void fillOgr();
    void fillDetalLabels();
    void showList(QListWidget* list, const TOgrItems& items);
    void fillTable(const TRepParams& p, const QList<TIntervalRec>& intervals, const TRepTable& table);
    void afterRun();
    TOgrRec* currentOgr();
    bool ogrTabsAdded_ = false;
    bool shown_ = false;
};
