#pragma once

#include "db/DataSource.h"
#include "db/Query.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QLineEdit;
class QPushButton;

namespace fw {
class DBGrid;
class DBLookupCombo;
}

// Finds a second-level segment by a part of its name and gives it, with the
// first-level segment that owns it, to the current client of dmKl.
class TfmSegmentFind : public QDialog {
    Q_OBJECT
public:
    // The card's two segment combos are set to the keys taken ("Установить").
    explicit TfmSegmentFind(QWidget* owner = nullptr, fw::DBLookupCombo* segmentCombo = nullptr,
                            fw::DBLookupCombo* segment2Combo = nullptr);
    ~TfmSegmentFind() override;

    static constexpr int HelpContext = 26;

    fw::Query qrySeg;
    fw::DataSource dsSeg;

    QLabel* Label1;                      // "Текст для поиска"
    QLineEdit* edSeg;
    QPushButton* btnFind;                // "Поиск"
    QPushButton* btnSet;                 // "Установить"
    QPushButton* btnClose;               // "Закрыть"
    fw::DBGrid* dbgSeg;

    void btnFindClick();
    // Also a double click in the list.
    void btnSetClick();
    void FormClose();

    void done(int result) override;

private:
    QPointer<fw::DBLookupCombo> segmentCombo_;
    QPointer<fw::DBLookupCombo> segment2Combo_;
};

extern QPointer<TfmSegmentFind> fmSegmentFind;

// The card's "Контекстный поиск": the dialog, modally, unless the client list is empty.
void ShowSegmentFind(QWidget* owner, fw::DBLookupCombo* segmentCombo, fw::DBLookupCombo* segment2Combo);
