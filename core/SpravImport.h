#pragma once

#include "core/SharedProcs.h"
#include "widgets/Dialogs.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class TSprav;
namespace fw {
class Field;
class TsvReader;
}

// The three pages of the reference-list import; the pages' tabs are never shown.
class TSpravImportForm : public QDialog {
    Q_OBJECT
public:
    explicit TSpravImportForm(QWidget* owner = nullptr);

    QStackedWidget* pc;
    QWidget* tsFile;
    QPlainTextEdit* mmHelp;
    QLineEdit* edFile;
    QPushButton* btnBrowse;
    fw::FileDialog odFile;
    QWidget* tsFields;
    QGridLayout* glFields;
    QWidget* tsImport;
    QLabel* lblCount;
    QProgressBar* pb;
    QPushButton* btnBack;
    QPushButton* btnNext;
    QPushButton* btnCancel;

    // Asked before the form closes with that result; false keeps it open.
    std::function<bool(int result)> CloseQuery;

    void btnBrowseClick();
    void done(int result) override;
};

// One field of the list and the file column it is read from.
struct TFieldLink {
    QString TableName;
    QString FieldName;
    int ColumnIndex = -1;
    QLabel* LinkLabel = nullptr;
    QComboBox* LinkCombo = nullptr;
};

// Fills a reference list from a tab-separated file: missing rows are added,
// the second field (the price) of existing ones is brought up to date.
class TSpravImport {
public:
    explicit TSpravImport(TSprav* sprav);
    ~TSpravImport();
    TSpravImport(const TSpravImport&) = delete;
    TSpravImport& operator=(const TSpravImport&) = delete;

    void Execute();
    QString GetFieldValue(const QString& fieldName, const QStringList& values) const;

    TSprav* Sprav;
    TSpravImportForm* Form = nullptr;
    std::unique_ptr<fw::TsvReader> File;
    int Page = 0;
    QList<TFieldLink> Links;
    // While the lines are written the window takes its events; a close asked
    // meanwhile stops the import after its current line.
    bool Importing = false;
    bool StopRequested = false;
    bool ExitAfterImport = false;   // asked by the program's close: it closes once the import stopped

    void ShowPage(int page);
    void NextClick();
    void BackClick();
    bool FormCloseQuery(int result);
    void BuildLinks(const QStringList& columns);
    void ClearLinks();
    void Import();
    // The question of closing while the import runs: on Yes it stops after its current line.
    bool AskStop();

private:
    // False when the line names nothing at some level and is skipped.
    bool ImportLine(const QStringList& values);
    void CancelPending();
    QString Cut(const QString& value, const fw::Field& field, const QString& caption);

    TCutValues CutValues;
};

void RunSpravImport(TSprav* sprav);
// The reference-list import running now, or nullptr.
TSpravImport* RunningSpravImport();
