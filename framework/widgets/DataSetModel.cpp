#include "DataSetModel.h"

#include "FieldDataLink.h"

namespace fw {

DataSetModel::DataSetModel(QObject* parent) : QAbstractTableModel(parent) {}

void DataSetModel::setDataSource(DataSource* source)
{
    if (source == source_) return;
    for (const auto& c : connections_) disconnect(c);
    connections_.clear();
    source_ = source;
    if (source_) {
        connections_ << connect(source_, &DataSource::dataSetChanged, this, &DataSetModel::reload)
                     << connect(source_, &DataSource::dataChanged, this, &DataSetModel::reload)
                     << connect(source_, &DataSource::stateChanged, this, &DataSetModel::onState)
                     << connect(source_, &DataSource::rowInserted, this, &DataSetModel::onRowInserted)
                     << connect(source_, &DataSource::rowRemoved, this, &DataSetModel::onRowRemoved)
                     << connect(source_, &DataSource::rowChanged, this, &DataSetModel::onRowChanged)
                     << connect(source_, &DataSource::currentChanged, this, &DataSetModel::onCurrentChanged)
                     << connect(source_, &DataSource::recordChanged, this, &DataSetModel::onRecordChanged)
                     << connect(source_, &QObject::destroyed, this, &DataSetModel::reload, Qt::QueuedConnection);
    }
    reload();
}

DataSet* DataSetModel::dataSet() const
{
    if (!source_ || !source_->enabled()) return nullptr;
    DataSet* ds = source_->dataSet();
    return ds && ds->active() ? ds : nullptr;
}

int DataSetModel::currentRow() const
{
    DataSet* ds = dataSet();
    return ds ? ds->currentRow() : -1;
}

// ---------------------------------------------------------------- columns

void DataSetModel::setColumns(const QList<GridColumn>& columns)
{
    beginResetModel();
    ++notifying_;
    columns_ = columns;
    defaultColumns_ = false;
    resolveFields();
    rows_ = dataSet() ? dataSet()->rowCount() : 0;
    endResetModel();
    --notifying_;
    emit columnsChanged();
    emit currentRowChanged(currentRow());
}

void DataSetModel::useDefaultColumns()
{
    defaultColumns_ = true;
    columns_.clear();
    reload();
}

void DataSetModel::setColumn(int i, const GridColumn& c)
{
    if (i < 0 || i >= columns_.size()) return;
    columns_[i] = c;
    resolveFields();
    defaultColumns_ = false;
    emit headerDataChanged(Qt::Horizontal, i, i);
    if (rows_ > 0) emit dataChanged(index(0, i), index(rows_ - 1, i));
    emit columnsChanged();
}

void DataSetModel::setColumnWidth(int i, int width)
{
    if (i >= 0 && i < columns_.size()) columns_[i].width = width;
}

void DataSetModel::insertColumn(int i, const GridColumn& c)
{
    i = std::clamp(i, 0, int(columns_.size()));
    beginInsertColumns({}, i, i);
    columns_.insert(i, c);
    defaultColumns_ = false;
    resolveFields();
    endInsertColumns();
    emit columnsChanged();
}

void DataSetModel::removeColumn(int i)
{
    if (i < 0 || i >= columns_.size()) return;
    beginRemoveColumns({}, i, i);
    columns_.removeAt(i);
    defaultColumns_ = false;
    resolveFields();
    endRemoveColumns();
    emit columnsChanged();
}

Field* DataSetModel::field(int column) const
{
    if (column < 0 || size_t(column) >= fields_.size() || !dataSet()) return nullptr;
    return fields_[size_t(column)];
}

QString DataSetModel::title(int column) const
{
    if (column < 0 || column >= columns_.size()) return {};
    const GridColumn& c = columns_[column];
    if (!c.title.isEmpty()) return c.title;
    if (Field* f = field(column)) return f->displayLabel();
    return c.fieldName;
}

Qt::Alignment DataSetModel::alignment(int column) const
{
    if (column < 0 || column >= columns_.size()) return Qt::AlignLeft | Qt::AlignVCenter;
    const Qt::Alignment a = columns_[column].alignment;
    if (a) return (a & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
    if (Field* f = field(column)) return fieldAlignment(*f);
    return Qt::AlignLeft | Qt::AlignVCenter;
}

int DataSetModel::columnOfField(const QString& fieldName) const
{
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_[i].fieldName.compare(fieldName, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

bool DataSetModel::cellEditable(int column) const
{
    Field* f = field(column);
    if (!f || columns_[column].readOnly || !f->dataSet().canModify()) return false;
    switch (f->kind()) {
    case Field::Kind::Data:
        return !f->readOnly() && f->type() != FieldType::Blob;
    case Field::Kind::Lookup: {
        // Through its one key field; a lookup over several keys is shown only.
        if (f->keyFields().contains(';') || !f->lookupDataSet()) return false;
        Field* key = f->dataSet().findField(f->keyFields());
        return key && key->kind() == Field::Kind::Data && !key->readOnly();
    }
    case Field::Kind::Calculated:
        return false;
    }
    return false;
}

void DataSetModel::resolveFields()
{
    fields_.assign(size_t(columns_.size()), nullptr);
    // Only an open data set: asking a closed one for a field may prepare its statement.
    DataSet* ds = dataSet();
    if (!ds) return;
    for (int i = 0; i < columns_.size(); ++i) {
        Field* f = ds->findField(columns_[i].fieldName);
        fields_[size_t(i)] = f;
        if (f && !columns_[i].title.isEmpty()) nameField(*f, columns_[i].title);
    }
}

void DataSetModel::nameField(Field& f, const QString& title)
{
    // A column's title names its field to the user, in the data set's messages
    // too (a conflict with another user's change), unless it has a name already.
    const auto name = [&](Field& g) {
        if (g.displayLabel() == g.name()) g.setDisplayLabel(title);
    };
    name(f);
    if (f.kind() == Field::Kind::Lookup && !f.keyFields().contains(';'))
        if (Field* key = f.dataSet().findField(f.keyFields())) name(*key);
}

bool DataSetModel::defaultColumnsFromFields()
{
    QList<GridColumn> next;
    if (DataSet* ds = dataSet())
        for (Field* f : ds->fields())
            if (f->visible()) next.append(GridColumn{f->name()});
    // The same fields again (a refresh, a filter): keep the columns as the user sized them.
    bool same = next.size() == columns_.size();
    for (int i = 0; same && i < next.size(); ++i) same = next[i].fieldName == columns_[i].fieldName;
    if (same) return false;
    columns_ = next;
    return true;
}

// ---------------------------------------------------------------- model

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) return {};
    if (role == Qt::TextAlignmentRole) return int(alignment(index.column()));
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    DataSet* ds = dataSet();
    Field* f = field(index.column());
    if (!ds || !f || index.row() >= ds->rowCount()) return {};
    try {
        if (role == Qt::DisplayRole) return ds->displayTextAt(index.row(), *f);
        return valueEditText(ds->valueAt(index.row(), *f), *f);
    } catch (const std::exception&) {
        // a lookup into a list without the key field: nothing to show
        return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole) return title(section);
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }
    if (role != IndicatorRole) return {};
    DataSet* ds = dataSet();
    if (!ds || section != ds->currentRow()) return int(Indicator::None);
    switch (ds->state()) {
    case DataSetState::Edit: return int(Indicator::Edit);
    case DataSetState::Insert: return int(Indicator::Insert);
    default: return int(Indicator::Current);
    }
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (cellEditable(index.column())) f |= Qt::ItemIsEditable;
    return f;
}

// ---------------------------------------------------------------- following the data set

bool DataSetModel::consistent() const
{
    DataSet* ds = dataSet();
    return rows_ == (ds ? ds->rowCount() : 0);
}

void DataSetModel::reload()
{
    beginResetModel();
    ++notifying_;
    // Columns given before the open learn their fields' widths and labels now.
    const bool opened = !wasActive_ && dataSet() != nullptr;
    wasActive_ = dataSet() != nullptr;
    const bool newColumns = (defaultColumns_ && defaultColumnsFromFields()) || opened;
    resolveFields();
    rows_ = dataSet() ? dataSet()->rowCount() : 0;
    indicatorRow_ = currentRow();
    endResetModel();
    --notifying_;
    if (newColumns) emit columnsChanged();
    emit editingStateChanged();
    emit currentRowChanged(currentRow());
}

void DataSetModel::onState()
{
    // Opening and closing redefine the fields and the rows.
    if ((dataSet() != nullptr) != wasActive_ || !consistent()) {
        reload();
        return;
    }
    updateIndicator();
    emit editingStateChanged();
}

void DataSetModel::updateIndicator()
{
    const int now = currentRow();
    const int old = indicatorRow_;
    indicatorRow_ = now;
    if (old >= 0 && old < rows_) emit headerDataChanged(Qt::Vertical, old, old);
    if (now >= 0 && now < rows_ && now != old) emit headerDataChanged(Qt::Vertical, now, now);
}

void DataSetModel::onRowInserted(int row)
{
    if (!dataSet() || row < 0 || row > rows_) {
        reload();
        return;
    }
    beginInsertRows({}, row, row);
    ++notifying_;
    ++rows_;
    if (indicatorRow_ >= row) ++indicatorRow_;
    endInsertRows();
    --notifying_;
    if (!consistent()) reload();
}

void DataSetModel::onRowRemoved(int row)
{
    if (!dataSet() || row < 0 || row >= rows_) {
        reload();
        return;
    }
    beginRemoveRows({}, row, row);
    ++notifying_;
    --rows_;
    if (indicatorRow_ == row) indicatorRow_ = -1;
    else if (indicatorRow_ > row) --indicatorRow_;
    endRemoveRows();
    --notifying_;
    if (!consistent()) reload();
}

void DataSetModel::onRowChanged(int row)
{
    if (!consistent()) {
        reload();
        return;
    }
    if (row < 0 || row >= rows_ || columns_.isEmpty()) return;
    emit dataChanged(index(row, 0), index(row, int(columns_.size()) - 1));
    updateIndicator();
}

void DataSetModel::onCurrentChanged(int row)
{
    if (!consistent()) {
        reload();
        return;
    }
    updateIndicator();
    emit currentRowChanged(row);
}

void DataSetModel::onRecordChanged(Field* f)
{
    if (!f) return;
    const int row = currentRow();
    if (row >= 0 && row < rows_ && !columns_.isEmpty())
        emit dataChanged(index(row, 0), index(row, int(columns_.size()) - 1));
    emit recordFieldChanged(f);
}

} // namespace fw
