#pragma once

#include "db/Query.h"

#include <QDialog>
#include <QPointer>

class QListWidget;
class QPushButton;

// Pick one value from a list; OK needs a chosen item.
class TfmSelectItem : public QDialog {
    Q_OBJECT
public:
    explicit TfmSelectItem(QWidget* owner = nullptr);

    QListWidget* lb;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    fw::Query qry;

    // Items carry their key in Qt::UserRole.
    void AddItem(const QString& text, int key);
    void done(int result) override;
};

// Set while a pick dialog exists (the reminder check waits for it).
extern QPointer<TfmSelectItem> fmSelectItem;
