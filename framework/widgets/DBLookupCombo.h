#pragma once

#include "DataSetModel.h"
#include "FieldDataLink.h"
#include "TypeAhead.h"

#include <QComboBox>

namespace fw {

// A drop-down list of the rows of a list data set (listSource), showing its
// listField and standing for its keyField. The control's key is the value of
// its data field when bound (setDataSource, setDataField), or a value of its
// own (setKeyValue) when not. It shows the text of the list row with that key:
// none for NULL or for a key the list does not hold (filtered out, say), and
// like the framework's lookup combo it moves the list data set to that row.
// Choosing an item puts the bound data set into edit mode and writes the key
// into the data field at once; then activated() is emitted.
class DBLookupCombo : public QComboBox {
    Q_OBJECT
public:
    explicit DBLookupCombo(QWidget* parent = nullptr);

    void setDataSource(DataSource* source) { link_.setDataSource(source); }
    DataSource* dataSource() const { return link_.dataSource(); }
    void setDataField(const QString& name) { link_.setFieldName(name); }
    const QString& dataField() const { return link_.fieldName(); }

    void setListSource(DataSource* source);
    DataSource* listSource() const { return list_->dataSource(); }
    void setKeyField(const QString& name);
    const QString& keyField() const { return keyField_; }
    void setListField(const QString& name);
    QString listField() const;

    Value keyValue() const { return key_; }
    // Shows the row of that key; a bound control does not write it into the field.
    void setKeyValue(const Value& key);
    QString text() const { return currentText(); }
    bool listVisible() const;                 // the drop-down list is open
    void setReadOnly(bool on) { readOnly_ = on; link_.setReadOnly(on); }
    bool isReadOnly() const { return readOnly_; }
    FieldDataLink& dataLink() { return link_; }

    void showPopup() override;
    void hidePopup() override;
    // Runs the handlers of activated() as a user's choice does (ClearOnEsc).
    void click();

signals:
    // The user chose an item and its key was taken (written into the field when bound).
    void activated();
    // Before the combo handles a key; set *handled to keep it from handling the key.
    void keyDown(QKeyEvent* event, bool* handled);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    bool bound() const { return link_.dataSource() && !link_.fieldName().isEmpty(); }
    DataSet* listDataSet() const { return list_->dataSet(); }
    bool mayChange() const;
    void loadFromField();
    void showKey();
    void picked(int row);
    int lookUp(QChar ch);

    FieldDataLink link_;
    DataSetModel* list_;
    QString keyField_;
    Value key_;
    bool readOnly_ = false;
    bool showing_ = false;
    TypeAhead search_;
};

} // namespace fw
