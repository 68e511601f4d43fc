#pragma once

#include "db/DataSource.h"

#include <QFlags>
#include <QPointer>
#include <QWidget>

class QToolButton;

namespace fw {

// The row of buttons that moves through a data source's data set and posts or
// cancels its edit. Buttons are enabled as the data set allows; what a button
// does goes through the data set, so its handlers run, and a refusal is shown.
class DBNavigator : public QWidget {
    Q_OBJECT
public:
    enum class Button {
        First = 0x1, Prior = 0x2, Next = 0x4, Last = 0x8, Insert = 0x10, Delete = 0x20,
        Edit = 0x40, Post = 0x80, Cancel = 0x100, Refresh = 0x200,
    };
    Q_DECLARE_FLAGS(Buttons, Button)
    static constexpr Buttons AllButtons = Buttons::fromInt(0x3ff);

    explicit DBNavigator(QWidget* parent = nullptr);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return source_; }
    void setVisibleButtons(Buttons b);
    Buttons visibleButtons() const { return visible_; }
    void setHint(Button b, const QString& hint);
    // Delete asks "Delete record?" first.
    void setConfirmDelete(bool on) { confirmDelete_ = on; }
    QToolButton* button(Button b) const;
    // As a click on the button.
    void clickButton(Button b);

signals:
    // After the button's action ran (also when it was refused).
    void clicked(fw::DBNavigator::Button button);

private:
    void updateButtons();
    DataSet* dataSet() const;

    QPointer<DataSource> source_;
    QList<QMetaObject::Connection> connections_;
    QList<QToolButton*> buttons_;
    Buttons visible_ = AllButtons;
    bool confirmDelete_ = true;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(DBNavigator::Buttons)

} // namespace fw
