#pragma once

#include <QWidget>

class QTabWidget;
namespace fw { class DBEdit; class DBMemo; }

// The settings row that all users share, edited in place; written when the
// window closes.
class TfmSettings : public QWidget {
    Q_OBJECT
public:
    explicit TfmSettings(QWidget* owner = nullptr);
    ~TfmSettings() override;

    QTabWidget* pcMain;
    fw::DBEdit* dbeHostTest;
    fw::DBEdit* dbePortTest;
    fw::DBEdit* dbeSubjTest;
    fw::DBMemo* dbmBodyTest;
    fw::DBEdit* dbeHostInfo;
    fw::DBEdit* dbePortInfo;
    fw::DBMemo* dbmBodyInfo;
    fw::DBEdit* dbeCompany;
    fw::DBEdit* dbeValuta1;
    fw::DBEdit* dbeValuta2;
    fw::DBEdit* dbePriznak1;
    fw::DBEdit* dbePriznak2;
    fw::DBEdit* dbeCountryCode;
    fw::DBEdit* dbeCityCode;
    fw::DBEdit* dbeEndPhoneChar;

    void FormCreate();
    // False when the row could not be written: the window then stays open.
    bool FormClose();
    void FormDestroy();

protected:
    void closeEvent(QCloseEvent* e) override;
};
