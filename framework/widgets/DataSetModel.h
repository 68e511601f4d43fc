#pragma once

#include "db/DataSource.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <vector>

namespace fw {

// One column of a data grid. A width of 0 takes the field's display width; an
// empty alignment the field's (numbers to the right); an empty title the
// field's display label.
struct GridColumn {
    enum class Button { Auto, Ellipsis, None };   // Auto: a drop-down list for a lookup field

    QString fieldName;
    QString title;
    int width = 0;                 // pixels
    Qt::Alignment alignment = {};
    bool visible = true;
    bool readOnly = false;
    Button button = Button::Auto;
};

// A table model over the data set of a data source: one row per row of the
// data set (an inserted row not yet posted included), one column per grid
// column. Values are read from the data set when asked for, never copied.
// It reports the data set's current row so that a view can follow it; it
// never moves the data set itself.
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Qt::Vertical header data for this role: the row's indicator.
    static constexpr int IndicatorRole = Qt::UserRole + 1;
    enum class Indicator { None, Current, Edit, Insert };

    explicit DataSetModel(QObject* parent = nullptr);

    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return source_; }
    // The data set while the source is enabled and the data set open; nullptr otherwise.
    DataSet* dataSet() const;
    int currentRow() const;

    // Without columns of its own the model shows every visible field, rebuilt
    // whenever the data set opens.
    void setColumns(const QList<GridColumn>& columns);
    void useDefaultColumns();
    bool hasDefaultColumns() const { return defaultColumns_; }
    const QList<GridColumn>& columns() const { return columns_; }
    const GridColumn& column(int i) const { return columns_[i]; }
    void setColumn(int i, const GridColumn& c);
    // The width the user dragged a column to; nothing to redraw.
    void setColumnWidth(int i, int width);
    void insertColumn(int i, const GridColumn& c);
    void removeColumn(int i);
    // nullptr when the data set is closed or has no field of the column's name.
    Field* field(int column) const;
    QString title(int column) const;
    Qt::Alignment alignment(int column) const;
    int columnOfField(const QString& fieldName) const;     // -1 when no column shows it
    // The column's field may be changed in place (a lookup column through its key field).
    bool cellEditable(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // True while the model tells its views about inserted, removed or reset
    // rows: a view's current index moving then is not the user's doing.
    bool notifying() const { return notifying_ > 0; }

signals:
    // The data set's current row moved, or the rows were reset (-1: no row).
    void currentRowChanged(int row);
    // A field of the current row was set (the row in edit or insert).
    void recordFieldChanged(fw::Field* field);
    // The editing state of the data set changed (browse, edit, insert, closed).
    void editingStateChanged();
    void columnsChanged();

private:
    void reload();
    void resolveFields();
    static void nameField(Field& f, const QString& title);
    bool defaultColumnsFromFields();
    void onState();
    void onRowInserted(int row);
    void onRowRemoved(int row);
    void onRowChanged(int row);
    void onCurrentChanged(int row);
    void onRecordChanged(Field* f);
    void updateIndicator();
    bool consistent() const;

    QPointer<DataSource> source_;
    QList<QMetaObject::Connection> connections_;
    QList<GridColumn> columns_;
    bool defaultColumns_ = true;
    std::vector<Field*> fields_;    // resolved per column whenever the data set may have redefined them
    int rows_ = 0;                  // what the views were told
    int indicatorRow_ = -1;
    bool wasActive_ = false;
    int notifying_ = 0;
};

} // namespace fw
