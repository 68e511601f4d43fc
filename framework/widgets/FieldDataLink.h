#pragma once

#include "db/DataSource.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QKeyEvent;
class QWidget;

namespace fw {

// The text a control edits: no display format ("1234.5", "07.05.2024 14:30").
QString valueEditText(const Value& v, const Field& f);
inline QString fieldEditText(const Field& f) { return valueEditText(f.value(), f); }
// Numbers to the right, everything else to the left; vertically centred.
Qt::Alignment fieldAlignment(const Field& f);
// A key that changes the text of an edit (typing, Backspace, Delete, cut, paste, undo).
bool keyModifiesText(const QKeyEvent* e);
// Shows an edit as one whose value cannot be changed, as the desktop shows
// read-only edits: the window's colour behind the text. Off: the usual background.
void showReadOnly(QWidget* control, bool on);

// The link between one data-aware control and one field of a data source's
// data set: it finds the field, follows the data set's state and current
// record, puts the data set into edit mode when the user starts typing, and
// asks the control to write its value before the data set posts.
//
// The control reacts through the handlers: onDataChange (show the field's
// value), onEditingChange (editing() changed), onUpdateData (write the value
// into field(); may throw, which stops the post or the leaving of the control).
class FieldDataLink : public QObject {
    Q_OBJECT
public:
    explicit FieldDataLink(QObject* parent = nullptr);
    ~FieldDataLink() override;

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return source_; }
    void setFieldName(const QString& name);
    const QString& fieldName() const { return name_; }

    DataSet* dataSet() const;            // nullptr unless the source is enabled and linked
    Field* field() const;                // nullptr while the data set is closed or has no such field
    bool active() const;                 // the data set is open
    bool editing() const { return editing_; }   // in edit or insert and modifiable by this control
    bool canModify() const;
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool on);
    // The control may never change the field, whatever the data set's state: the
    // control, the field or the data set forbid it (while closed, the control's flag).
    bool showsReadOnly() const { return active() ? !canModify() : readOnly_; }

    // Puts the data set into edit mode when it browses (the auto-edit of typing
    // into a control). Throws what the data set throws (a refusal of its
    // handlers, Abort); true when the control may now change the field.
    bool edit();
    // edit() with a refusal shown to the user; false when it was refused.
    bool tryEdit();

    // The control holds a value that is not in the field yet.
    void setModified() { modified_ = true; }
    bool isModified() const { return modified_; }
    // Drops what the control holds and shows the field's value again.
    void reset();
    // Writes the control's pending value (onUpdateData); throws on a value the field rejects.
    void updateRecord();

    // Sets the field on behalf of the control without reloading the control.
    void writeValue(const Value& v);
    void writeText(const QString& text);

    std::function<void()> onDataChange;
    std::function<void()> onEditingChange;
    std::function<void()> onUpdateData;

private:
    void resolve();
    void updateEditing();
    void recordChanged(Field* f);
    void dataChange();

    QPointer<DataSource> source_;
    QString name_;
    Field* field_ = nullptr;        // re-resolved whenever the data set may have redefined its fields
    bool readOnly_ = false;
    bool editing_ = false;
    bool modified_ = false;
    bool writing_ = false;
    QList<QMetaObject::Connection> connections_;
};

} // namespace fw
