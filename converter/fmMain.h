#pragma once

#include <QIcon>
#include <QPointer>
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace kestrup {

// The converter's wizard: instructions, the settings file, the conversion.
class TfmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfmMain(QWidget* owner = nullptr);

    QStackedWidget* pcMain;
    QWidget* tsInfo;
    QWidget* tsIni;
    QWidget* tsConv;
    QPlainTextEdit* MemoInfo;
    QLabel* lblIni;
    QGroupBox* gbIni;
    QLineEdit* edFileIni;
    QPushButton* btnBrowse;
    QLabel* lblConv;
    QGroupBox* gbConv;
    QProgressBar* pb;
    QPushButton* btnCancel;
    QPushButton* btnBack;
    QPushButton* btnNext;
    QPushButton* btnConv;

    void UpdateButtons();
    void btnNextClick(QPushButton* sender);
    void btnBrowseClick();
    void btnCancelClick();
    bool FormCloseQuery();
    void btnConvClick();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void FormShow();
    void pcMainChange();
};

extern QPointer<TfmMain> fmMain;

// The converter's own icon, drawn at the sizes a desktop asks for.
QIcon KestrupIcon();

} // namespace kestrup
