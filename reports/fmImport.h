#pragma once

#include "core/ModuleWindows.h"
#include "reports/ClientImport.h"
#include "widgets/Dialogs.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class TBrDrawGrid;
namespace fw {
class DBGrid;
class TsvReader;
} // namespace fw

// The client import: a tab-separated file, one client a line with its contact
// blocks, linked column by column to the fields of the clients window's two
// grids and, for references, value by value to the system's names.
class TfmImport : public QWidget, public TCloseQuery {
    Q_OBJECT
public:
    // The fields come from the clients window's client list and contact grids.
    TfmImport(QWidget* owner, const fw::DBGrid& dbgCust, const fw::DBGrid& dbgContacts);
    ~TfmImport() override;

    // The pages; the one shown stands alone above the buttons.
    QStackedWidget* pc;
    QWidget* tsFile;
    QLineEdit* edFile;
    QPushButton* btnFile;            // "Обзор..."
    QSpinBox* seContactCount;
    fw::FileDialog odFile;
    QWidget* tsFields;
    QPushButton* btnSetFieldLinks;   // "Авто"
    QPushButton* btnClearFieldLinks; // "Очистить"
    TBrDrawGrid* dgFields;
    QWidget* tsValues;
    QComboBox* cbSprav;
    QPushButton* btnSetValueLinks;
    QPushButton* btnClearValueLinks;
    TBrDrawGrid* dgValues;
    QWidget* tsImport;
    QLabel* lblAllCount;
    QGroupBox* gbProcess;
    QLabel* lblCount;
    QProgressBar* pb;
    QPushButton* btnCancel;
    QPushButton* btnBack;
    QPushButton* btnNext;
    QPushButton* btnImport;

    // The system's fields: the client's, then the contact blocks; and the
    // fields of one contact block.
    TImportFields Fields;
    TImportFields ContactFields;
    QStringList Header;
    int RecordCount = 0;

    bool FormCloseQuery() override;
    bool Importing() const { return importing_; }

    void btnFileClick();
    void btnBackClick();
    void btnNextClick();
    void btnImportClick();
    void btnSetFieldLinksClick();
    void btnClearFieldLinksClick();
    void btnSetValueLinksClick();
    void btnClearValueLinksClick();
    void cbSpravChange();

    void ReadLookupValues();
    void FreeLookupValues();
    void CheckFileStructure();
    bool HasLookupLinks() const;
    bool HasValueLinks() const;
    bool HasFieldLinks() const;
    void ClearFieldLink(TImportField& field);

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void GoPage(bool forward);
    void ShowPage(QWidget* page);
    void UpdateButtons();
    void PostGridEdit(TBrDrawGrid* grid);
    void RefreshGrid(TBrDrawGrid* grid, int rows);
    // Reads the file from its first data line, checking every line; fn gets each line's values.
    int ScanFile(const std::function<void(const QStringList& values)>& fn);
    void CloseWindow();
    void CloseAfterImport();
    void EndFailedImport();
    TImportField* ShownSprav();

    std::unique_ptr<fw::TsvReader> File;
    bool checked_ = false;                // the file's lines were all checked ...
    QList<int> checkedDates_;             // ... with these linked date columns
    int shownSprav_ = -1;                 // field shown on the values page
    bool importing_ = false;
    bool stopRequested_ = false;
    bool closeAfterImport_ = false;
    bool exitAfterImport_ = false;        // ... and then the program
    bool imported_ = false;               // this file was imported (Import stays off)
    bool closeConfirmed_ = false;         // the close being processed was already asked for
};

extern QPointer<TfmImport> fmImport;

// "Импорт...": the one import window, created with the main window as owner
// on first use and brought to the front afterwards.
TfmImport* ShowImport(const fw::DBGrid& dbgCust, const fw::DBGrid& dbgContacts);
