#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

// Column choice of an export: one checkable item per grid column.
class TSelectColumnForm : public QDialog {
    Q_OBJECT
public:
    explicit TSelectColumnForm(QWidget* owner = nullptr);

    QListWidget* clbColumns;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // "*" inverts every check mark.
    void InvertChecks();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
