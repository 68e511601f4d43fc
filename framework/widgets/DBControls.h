#pragma once

#include "DataSetModel.h"
#include "FieldDataLink.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>

class QButtonGroup;
class QVBoxLayout;

namespace fw {

// The data-aware controls show one field of the current record of a data
// source and change it. A control changes its field only while the data set
// is in edit or insert mode: the first key typed into a control of a browsing
// data set puts it into edit mode (a refusal is shown and the key dropped).
// Text goes into a text field as it is typed; into a number or date field when
// the control is left or the data set posts, and a text the field rejects
// keeps the focus in the control with the field unchanged.

// A text longer than its field is never cut without a word: an edit stops at
// the field's length, for typing and for a paste alike (a paste keeps what
// fits, the cursor standing where it was cut), beeps and says so under the
// cursor. unitsNote tells how the length is counted, when not by characters.
void showLengthLimit(QWidget* edit, const QRect& cursor, int limit, const QString& unitsNote = {});
// The notice for a line edit, whenever it refuses what would pass its maximum length.
void noteLengthLimit(QLineEdit* edit);
// Every line edit of the program shown from now on gets noteLengthLimit.
void installLengthNotices();

class DBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DBEdit(QWidget* parent = nullptr);

    void setDataSource(DataSource* source) { link_.setDataSource(source); }
    DataSource* dataSource() const { return link_.dataSource(); }
    void setDataField(const QString& name) { link_.setFieldName(name); }
    const QString& dataField() const { return link_.fieldName(); }
    Field* field() const { return link_.field(); }
    // The control's own read-only flag (the field and the data set may forbid changes too).
    void setReadOnly(bool on);
    bool isReadOnly() const { return link_.readOnly(); }
    FieldDataLink& dataLink() { return link_; }
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool bound() const { return link_.dataSource() && !link_.fieldName().isEmpty(); }
    bool liveField() const;
    void load();
    void userEdited();
    void store();
    bool revert();
    void updateReadOnly();

    FieldDataLink link_;
    bool loading_ = false;
    bool focused_ = false;
    bool session_ = false;        // the field holds what was typed since the control got the focus
    Value entryValue_;            // the field's value before that
};

// A multi-line text field. Lines end with CR LF in the field, as the
// program has always stored them; a text field's length counts them as two
// characters, and the memo stops there (see showLengthLimit). Non-breaking
// spaces are kept.
class DBMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit DBMemo(QWidget* parent = nullptr);

    void setDataSource(DataSource* source) { link_.setDataSource(source); }
    DataSource* dataSource() const { return link_.dataSource(); }
    void setDataField(const QString& name) { link_.setFieldName(name); }
    const QString& dataField() const { return link_.fieldName(); }
    Field* field() const { return link_.field(); }
    void setReadOnly(bool on);
    bool isReadOnly() const { return link_.readOnly(); }
    FieldDataLink& dataLink() { return link_; }

    // The text as the field stores it: CR LF line ends, non-breaking spaces kept.
    QString storedText() const;
    // The field's length; 0 when there is none.
    int limit() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    bool bound() const { return link_.dataSource() && !link_.fieldName().isEmpty(); }
    void load();
    void userEdited();
    void updateReadOnly();
    QString text() const;
    // Room left for an insertion that replaces the selection, in stored characters.
    int room() const;

    FieldDataLink link_;
    bool loading_ = false;
};

// A check box over a one-character yes/no field: "+" checked, "-" unchecked.
class DBCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit DBCheckBox(QWidget* parent = nullptr);
    explicit DBCheckBox(const QString& text, QWidget* parent = nullptr);

    void setDataSource(DataSource* source) { link_.setDataSource(source); }
    DataSource* dataSource() const { return link_.dataSource(); }
    void setDataField(const QString& name) { link_.setFieldName(name); }
    const QString& dataField() const { return link_.fieldName(); }
    Field* field() const { return link_.field(); }
    // Several values read as the same state may be given separated by ";";
    // the first is the one written.
    void setValueChecked(const QString& v);
    void setValueUnchecked(const QString& v);
    const QString& valueChecked() const { return checked_; }
    const QString& valueUnchecked() const { return unchecked_; }
    void setReadOnly(bool on) { link_.setReadOnly(on); }
    bool isReadOnly() const { return link_.readOnly(); }
    FieldDataLink& dataLink() { return link_; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    bool bound() const { return link_.dataSource() && !link_.fieldName().isEmpty(); }
    bool mayToggle();
    void load();
    void toggledByUser(bool on);

    FieldDataLink link_;
    QString checked_ = "+";
    QString unchecked_ = "-";
    bool loading_ = false;
};

// A group of radio buttons; item i stores values()[i], or its caption when
// no values are given. A field value of no item checks none.
class DBRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit DBRadioGroup(QWidget* parent = nullptr);
    explicit DBRadioGroup(const QString& title, QWidget* parent = nullptr);

    void setDataSource(DataSource* source) { link_.setDataSource(source); }
    DataSource* dataSource() const { return link_.dataSource(); }
    void setDataField(const QString& name) { link_.setFieldName(name); }
    const QString& dataField() const { return link_.fieldName(); }
    void setItems(const QStringList& items);
    const QStringList& items() const { return items_; }
    void setValues(const QStringList& values);
    const QStringList& values() const { return values_; }
    int itemIndex() const;
    // As a click on the item: a bound group writes its value.
    void setItemIndex(int i);
    QString value() const;          // the stored value of the checked item; empty when none
    void setReadOnly(bool on) { link_.setReadOnly(on); }
    FieldDataLink& dataLink() { return link_; }

signals:
    void changed();                  // the user (or setItemIndex) checked another item

private:
    bool bound() const { return link_.dataSource() && !link_.fieldName().isEmpty(); }
    QString valueOf(int i) const;
    void load();
    void check(int i);
    void clicked(int item);

    FieldDataLink link_;
    QStringList items_;
    QStringList values_;
    QButtonGroup* group_;
    QVBoxLayout* layout_;
    bool loading_ = false;
};

// A label showing a field as the grid shows it.
class DBText : public QLabel {
    Q_OBJECT
public:
    explicit DBText(QWidget* parent = nullptr);

    void setDataSource(DataSource* source) { link_.setDataSource(source); }
    DataSource* dataSource() const { return link_.dataSource(); }
    void setDataField(const QString& name) { link_.setFieldName(name); }
    const QString& dataField() const { return link_.fieldName(); }

private:
    void load();
    FieldDataLink link_;
};

// The rows of a data set as a list of one field; the selected item is the
// data set's current row, both ways.
class DBListBox : public QListView {
    Q_OBJECT
public:
    explicit DBListBox(QWidget* parent = nullptr);

    void setDataSource(DataSource* source) { model_->setDataSource(source); }
    DataSource* dataSource() const { return model_->dataSource(); }
    void setListField(const QString& name);
    QString listField() const;
    DataSetModel* dataModel() const { return model_; }

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyboardSearch(const QString&) override {}

private:
    void follow(int row);

    DataSetModel* model_;
    bool syncing_ = false;
};

} // namespace fw
