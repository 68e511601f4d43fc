#pragma once

#include "DbError.h"
#include "PackedRow.h"
#include "Statement.h"
#include "Value.h"

#include <QFlags>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace fw {

class DataSet;
class DataSource;
class FilterExpr;

enum class DataSetState { Inactive, Browse, Edit, Insert, CalcFields, Filter };

enum class FieldType { Integer, Float, Currency, String, DateTime, Memo, Blob };

// What the grid shows for a row: a row being edited or a new row not yet posted.
enum class RowState { Unchanged, Edited, Inserted };

enum class LocateOption { CaseInsensitive = 0x1, PartialKey = 0x2 };
Q_DECLARE_FLAGS(LocateOptions, LocateOption)

// A position in a data set that survives inserts, deletes and filtering, but
// not a close or refresh.
struct Bookmark {
    quint64 id = 0;
    bool isNull() const { return id == 0; }
};

// One column of a data set. Owned by its data set; a field keeps its address
// (and the display settings made on it) across close and reopen as long as the
// statement still returns a column of that name.
class Field {
public:
    enum class Kind { Data, Lookup, Calculated };

    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;

    DataSet& dataSet() const { return *ds_; }
    const QString& name() const { return name_; }
    const QString& fieldName() const { return name_; }
    Kind kind() const { return kind_; }
    FieldType type() const { return type_; }
    int index() const;                    // position in DataSet::fields()
    // The table and column a data field is read from; empty for a computed column.
    const QString& originTable() const { return table_; }
    const QString& originColumn() const { return column_; }
    int size() const { return size_; }    // characters of a string, decimals of a number
    bool isNumeric() const;

    const QString& displayLabel() const { return label_.isEmpty() ? name_ : label_; }
    void setDisplayLabel(const QString& s) { label_ = s; }
    // Number fields: "# ### ##0.00", ",0.###" (see formatFloat); date fields: a Qt format.
    const QString& displayFormat() const { return format_; }
    void setDisplayFormat(const QString& s) { format_ = s; }
    int displayWidth() const;
    void setDisplayWidth(int w) { width_ = w; }
    bool visible() const { return visible_; }
    void setVisible(bool v) { visible_ = v; }
    bool readOnly() const { return readOnly_ || kind_ == Kind::Lookup; }
    void setReadOnly(bool v) { readOnly_ = v; }
    bool required() const { return required_; }
    void setRequired(bool v) { required_ = v; }

    // Lookup fields: this data set's key field(s) -> lookupDataSet's result field.
    const QString& keyFields() const { return keyFields_; }
    DataSet* lookupDataSet() const { return lookupDs_; }
    const QString& lookupKeyFields() const { return lookupKeys_; }
    const QString& lookupResultField() const { return lookupResult_; }

    // The value of the active record: the edit buffer while editing or inserting,
    // the current row otherwise; NULL when the data set is closed or empty.
    Value value() const;
    // The value as read from the database (NULL for a new row).
    Value oldValue() const;
    bool isNull() const { return value().isNull(); }
    QString asString() const { return value().asString(); }
    int asInteger() const { return value().asInt(); }
    double asFloat() const { return value().asDouble(); }
    Currency asCurrency() const { return value().asCurrency(); }
    QDateTime asDateTime() const { return value().asDateTime(); }
    bool asBoolean() const { return value().asBool(); }
    // What a grid or a read-only control shows.
    QString displayText() const;
    // What it shows for a value of this field's type.
    QString displayTextOf(const Value& v) const;

    // Setters need the data set in edit or insert state ("Dataset not in edit or
    // insert mode"); the value is converted to the field's type.
    void setValue(const Value& v);
    void setAsString(const QString& v);     // "" clears a field that is not a string
    void setAsInteger(int v) { setValue(v); }
    void setAsFloat(double v) { setValue(v); }
    void setAsCurrency(Currency v) { setValue(v); }
    void setAsDateTime(const QDateTime& v) { setValue(v); }
    void setAsBoolean(bool v);              // "+"/"-" for a string, 1/0 for a number
    void clear() { setValue(Value()); }

    // The value converted to this field's type (throws ConvertError).
    Value convert(const Value& v) const;

private:
    friend class DataSet;
    Field(DataSet* ds, QString name, Kind kind, FieldType type, int size)
        : ds_(ds), name_(std::move(name)), kind_(kind), type_(type), size_(size) {}

    DataSet* ds_;
    QString name_;
    Kind kind_;
    FieldType type_;
    int size_;
    int slot_ = -1;           // index in a row's values; -1 for lookup fields
    QString table_;
    QString column_;
    QString label_;
    QString format_;
    int width_ = 0;
    bool visible_ = true;
    bool readOnly_ = false;
    bool required_ = false;
    QString keyFields_;
    QPointer<DataSet> lookupDs_;
    QString lookupKeys_;
    QString lookupResult_;
    mutable QList<const Field*> keyRefs_;   // resolved keyFields_
    mutable quint64 keyRefsVersion_ = 0;
};

// The data set: rows fetched at open, a current row, browse/edit/insert states,
// events in the classic order, fields by name, locate/lookup, bookmarks,
// client-side filters, lookup and calculated fields. Writing a posted or
// deleted row is left to the subclass (Query with its UpdateSql).
//
// Events are plain members; a handler that throws Abort cancels the operation
// (the Abort reaches the caller, which shows nothing), any other exception
// propagates. A refused insert or edit never enters that state.
//
// Signals are for views and data sources; disableControls() silences them (it
// never silences the events above). Slots must not throw: what may refuse
// (a control writing its text back) goes through DataSource::addUpdateHandler.
// A Query's Database must outlive it.
class DataSet : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(DataSet&)>;
    using FilterHandler = std::function<void(DataSet&, bool& accept)>;

    explicit DataSet(QObject* parent = nullptr);
    ~DataSet() override;

    Handler beforeOpen, afterOpen, beforeClose, afterClose;
    Handler beforeInsert, onNewRecord, afterInsert;
    Handler beforeEdit, afterEdit;
    Handler beforePost, afterPost;
    Handler beforeCancel, afterCancel;
    Handler beforeDelete, afterDelete;
    Handler beforeScroll, afterScroll;
    Handler onCalcFields;
    FilterHandler onFilterRecord;

    // --- state
    DataSetState state() const;
    bool active() const { return state_ != DataSetState::Inactive; }
    void setActive(bool on) { on ? open() : close(); }
    void open();
    void close();                 // discards a pending edit (post it in beforeClose)
    bool modified() const { return modified_; }
    virtual bool canModify() const { return false; }

    // --- fields
    QList<Field*> fields() const;
    int fieldCount() const { return int(fields_.size()); }
    Field& field(int i) const { return *fields_[size_t(i)]; }
    Field* findField(const QString& name) const;
    Field& fieldByName(const QString& name) const;     // throws "Field 'X' not found"
    // Declared before open; they keep their place after the data fields.
    Field& addLookupField(const QString& name, const QString& keyFields, DataSet* lookupDataSet,
                          const QString& lookupKeyFields, const QString& lookupResultField,
                          int size = 0);
    Field& addCalcField(const QString& name, FieldType type, int size = 0);
    // The fields that identify a row for refresh and refreshRecord ("A;B");
    // the first data field unless set.
    QString keyFields() const;
    void setKeyFields(const QString& names) { keyFields_ = names; }

    // --- navigation (the current row is 0-based; recNo is 1-based)
    void first();
    void last();
    void next() { moveBy(1); }
    void prior() { moveBy(-1); }
    int moveBy(int distance);
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }
    int recNo() const { return currentRow() + 1; }
    int recordCount() const { return int(view_.size()); }   // posted rows that pass the filter
    bool isEmpty() const { return view_.empty() && state_ != DataSetState::Insert; }
    bool locate(const QString& keyFields, const Value& value, LocateOptions options = {});
    bool locate(const QString& keyFields, const QList<Value>& values, LocateOptions options = {});
    // The result field of the first row matching the keys; never moves, posts or
    // fires events; NULL when nothing matches.
    Value lookup(const QString& keyFields, const Value& value, const QString& resultField) const;
    Value lookup(const QString& keyFields, const QList<Value>& values, const QString& resultField) const;

    Bookmark bookmark() const;
    void gotoBookmark(const Bookmark& b);           // throws when the row is gone
    bool bookmarkValid(const Bookmark& b) const;
    void freeBookmark(Bookmark& b) const { b = {}; }

    // --- editing
    void edit();                  // on an empty data set this inserts
    void insert();                // before the current row
    void append();                // after the last row
    void post();
    // Cancels an edit or insert; a row the post found deleted by another user leaves the data set.
    void cancel();
    void remove();                // deletes the current row (cancels an insert)
    // Posts a modified row and cancels an unmodified one (what a grid does when
    // the user leaves a row).
    void checkBrowseMode();
    // Asks the linked controls to write their typed values into the fields.
    void updateRecord();

    // Writing happens at post and delete, one row per statement, so nothing is
    // ever pending here: applyUpdates() posts an unposted edit, commitUpdates()
    // has nothing to clear. They exist so that an apply-and-commit handler reads
    // as it always did.
    void applyUpdates();
    void commitUpdates() {}
    bool updatesPending() const { return false; }

    // Re-reads all rows (no open or close events), keeping the current row by its
    // key when it is still there.
    void refresh();
    // Re-reads the current row by its key fields (values a trigger filled in).
    void refreshRecord();

    // --- controls
    void disableControls() { ++disableCount_; }
    void enableControls();        // the last one tells the views that everything changed
    bool controlsDisabled() const { return disableCount_ > 0; }

    // --- client-side filter
    // Texts such as "idOtdel=5", "idUser=3 and idContacts=-1",
    // "(summadf>0 or sernum<>'') and back<>'+'"; empty = every row.
    // An invalid text throws and leaves the filter as it was.
    void setFilter(const QString& text);
    const QString& filter() const { return filterText_; }
    void setFiltered(bool on);
    bool filtered() const { return filtered_; }
    // Evaluates the filter again (after a change the onFilterRecord predicate depends on).
    void refilter();

    // --- access for grids: rows include an inserted row not yet posted
    int rowCount() const;
    int currentRow() const;                   // -1 when there is no row
    void setCurrentRow(int row);              // like the user moving there: checkBrowseMode, scroll events
    Value valueAt(int row, const Field& f) const;
    QString displayTextAt(int row, const Field& f) const;
    RowState rowState(int row) const;

signals:
    void stateChanged();
    // Reopened, closed, refreshed or filtered: everything, the current row too, may have changed.
    void dataChanged();
    void rowInserted(int row);
    void rowRemoved(int row);
    void rowChanged(int row);                 // a row's values changed (post, cancel, refreshRecord)
    void currentChanged(int row);
    void fieldChanged(fw::Field* field);      // a field of the current row was set
    void updateRecordRequested();

protected:
    enum class WriteKind { Modify, Insert, Delete };

    // What a fetch hands over: the columns, then the executed statement,
    // whose rows the sink fetches itself.
    struct RowSink {
        std::function<void(const std::vector<ColumnInfo>&)> columns;
        std::function<void(Statement&)> rows;
    };
    // Fetches every row into the sink. Called by open() and refresh().
    virtual void fetchRows(const RowSink& sink) = 0;
    // Writes one row and commits it (or throws, leaving the database as it was);
    // false when it went into the caller's explicit transaction, still to be
    // committed. During the call field values are the new ones and oldValue()
    // the stored ones.
    virtual bool writeRow(WriteKind kind);
    // The current row's data values as the database has them now; nullopt when gone.
    virtual std::optional<std::vector<Value>> fetchRecord(const QStringList& keyNames,
                                                          const QList<Value>& keyValues);
    // Bracket a post's before-post handlers and its write, so that a subclass
    // can keep what the handlers start (a key's transaction) for the write.
    virtual void beginWrite() {}
    virtual void endWrite() noexcept {}
    virtual void afterCloseCleanup() {}
    // Lets a closed data set that was never opened describe its fields on demand.
    virtual void autoDescribe() {}
    // Builds the data fields from a statement's columns (closed data sets too).
    void defineFields(const std::vector<ColumnInfo>& columns);
    // During writeRow: the value the write stored for a field (another user's
    // change the framework kept), without marking the row modified.
    void setWrittenValue(Field& f, const Value& v);
    InternalError error(const QString& message) const;   // a programmer's error, prefixed with the object name
    void checkActive() const;
    void checkInactive() const;

private:
    friend class Field;
    friend class DataSource;

    struct WriteBracket {
        explicit WriteBracket(DataSet& ds) : ds(ds) { ds.beginWrite(); }
        ~WriteBracket() { ds.endWrite(); }
        DataSet& ds;
    };

    enum class Event { State, Data, RowInserted, RowRemoved, RowChanged, Current, FieldSet, UpdateRecord };
    // Tells views and data sources, unless controls are disabled. Data sources are
    // called directly, so a control's write-back or a detail's reopen may throw.
    void event(Event e, int row = -1, Field* field = nullptr);

    struct Row {
        PackedRow values;   // data columns, then calculated fields
        quint64 id = 0;
    };
    // A row's values wherever they are: the edit buffer or a stored row.
    struct RowRef {
        const std::vector<Value>* buffer = nullptr;
        const PackedRow* packed = nullptr;
        RowRef() = default;
        RowRef(const std::vector<Value>* b) : buffer(b) {}
        RowRef(const PackedRow* p) : packed(p) {}
        explicit operator bool() const { return buffer || packed; }
        Value at(int slot) const;
    };

    RowRef activeValues() const;
    RowRef rowValues(int row) const;
    Value valueOf(const Field& f, RowRef values) const;
    QString textOf(const Field& f, RowRef values) const;
    void setFieldValue(Field& f, const Value& v);
    int dataWidth() const { return dataColumns_; }
    int rowWidth() const { return dataColumns_ + calcCount_; }
    void computeCalcFields(std::vector<Value>& values);
    bool passesFilter(RowRef values);
    void rebuildView();
    int findRow(quint64 id) const;
    int findMatch(const QList<Field*>& keys, const QList<Value>& values, LocateOptions options) const;
    QList<Field*> resolveFields(const QString& names) const;
    // Fetches and packs every row, calculated fields computed, in place of the rows held;
    // a failed fetch leaves the rows held.
    void loadRows();
    void startInsert(bool atEnd);
    // Takes the current row out of the rows held (after a delete, or when it is gone).
    void dropCurrentRow();
    void notifyCurrent() { event(Event::Current, currentRow()); }
    // Posts (or cancels, when untouched) the pending rows of this data set's details.
    void postDetails();
    void touch() { ++version_; }
    void afterFilterChange();
    Value lookupIndexed(const QString& keyNames, const QList<Value>& keys, const QString& resultName) const;
    QList<Value> keyValues(const QList<Field*>& keys, RowRef values) const;
    RowRef oldValues() const;

    struct LookupIndex {
        QString keys;
        QList<const Field*> fields;
        QHash<QString, int> rows;    // normalised key -> view position of the first match
    };

    std::vector<std::unique_ptr<Field>> fields_;
    int dataColumns_ = 0;
    int calcCount_ = 0;
    QString keyFields_;

    RowArena arena_;                // the fetched rows live here; declared first, so it goes last
    std::vector<Row> all_;          // every fetched or posted row, in order
    std::vector<int> view_;         // indexes into all_ of the rows that pass the filter
    quint64 nextId_ = 1;
    int cur_ = -1;                  // index into view_
    bool bof_ = true;
    bool eof_ = true;

    DataSetState state_ = DataSetState::Inactive;
    std::optional<DataSetState> tempState_;   // CalcFields or Filter while a handler runs
    RowRef context_;
    std::vector<Value>* calcTarget_ = nullptr;
    std::vector<Value> buffer_;     // the edited or inserted row
    int insertPos_ = -1;            // view position of the row being inserted; cur_ stays
    bool modified_ = false;
    bool inNewRecord_ = false;
    bool takenOnWrite_ = false;     // writeRow kept values another user stored
    quint64 goneRow_ = 0;           // the edited row another user deleted: cancel drops it
    int disableCount_ = 0;
    QList<QPointer<DataSource>> sources_;

    QString filterText_;
    std::shared_ptr<FilterExpr> filterExpr_;
    bool filtered_ = false;

    quint64 version_ = 1;           // rows or their order changed
    quint64 fieldsVersion_ = 1;     // fields were (re)defined
    mutable quint64 indexedVersion_ = 0;
    mutable std::vector<LookupIndex> lookupIndexes_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(LocateOptions)

} // namespace fw
