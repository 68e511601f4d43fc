#pragma once

#include "core/ModuleWindows.h"
#include "widgets/Dialogs.h"

#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QToolBar;
class QToolButton;
class QVBoxLayout;
class TSpravMan;

// The reference-list editor, a module window.
class TfmSetupList : public QWidget, public TCloseQuery {
    Q_OBJECT
public:
    explicit TfmSetupList(QWidget* owner = nullptr);
    ~TfmSetupList() override;

    QToolBar* ToolBar;
    QLabel* lblSprav;
    QComboBox* cbSprav;
    QToolButton* tbImport;
    fw::FileDialog od;
    // Where the lists' panels go; the one shown fills it.
    QWidget* pnlClient;
    QVBoxLayout* pnlClientLayout;

    std::unique_ptr<TSpravMan> SpravMan;

    void FormCreate();
    void cbSpravChange();
    void tbImportClick();
    void FormClose();
    void FormDestroy();
    // While a list is being imported, closing asks to stop the import, and waits for it.
    bool FormCloseQuery() override;

protected:
    void closeEvent(QCloseEvent* e) override;
};
