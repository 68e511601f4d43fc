#include "DataSource.h"

#include "Query.h"

namespace fw {

DataSource::DataSource(QObject* parent) : QObject(parent) {}

DataSource::DataSource(DataSet* ds, QObject* parent) : QObject(parent) { setDataSet(ds); }

DataSource::~DataSource()
{
    if (ds_) ds_->sources_.removeAll(QPointer<DataSource>(this));
}

void DataSource::setDataSet(DataSet* ds)
{
    if (ds == ds_) return;
    if (ds_) ds_->sources_.removeAll(QPointer<DataSource>(this));
    ds_ = ds;
    if (ds_) ds_->sources_.append(QPointer<DataSource>(this));
    emit dataSetChanged();
    emit stateChanged();
    emit dataChanged();
    emit recordChanged(nullptr);
}

void DataSource::setEnabled(bool on)
{
    if (on == enabled_) return;
    enabled_ = on;
    emit stateChanged();
    emit dataChanged();
    emit recordChanged(nullptr);
}

DataSetState DataSource::state() const
{
    return live() ? ds_->state() : DataSetState::Inactive;
}

void DataSource::addUpdateHandler(QObject* owner, std::function<void()> handler)
{
    updateHandlers_.emplace_back(QPointer<QObject>(owner), std::move(handler));
}

void DataSource::removeUpdateHandlers(QObject* owner)
{
    std::erase_if(updateHandlers_, [owner](const auto& h) { return h.first == owner || !h.first; });
}

void DataSource::recordMoved()
{
    emit recordChanged(nullptr);
    const QList<QPointer<Query>> details = details_;
    for (const auto& q : details)
        if (q) q->masterRecordChanged();
}

void DataSource::handle(int event, int row, Field* field)
{
    if (!live()) return;
    using E = DataSet::Event;
    switch (E(event)) {
    case E::State: {
        emit stateChanged();
        const QList<QPointer<Query>> details = details_;
        for (const auto& q : details)
            if (q) q->masterStateChanged();
        break;
    }
    case E::Data:
        emit dataChanged();
        recordMoved();
        break;
    case E::RowInserted: emit rowInserted(row); break;
    case E::RowRemoved: emit rowRemoved(row); break;
    case E::RowChanged:
        emit rowChanged(row);
        if (row == ds_->currentRow()) recordMoved();
        break;
    case E::Current:
        emit currentChanged(row);
        recordMoved();
        break;
    case E::FieldSet: emit recordChanged(field); break;
    case E::UpdateRecord: {
        emit updateRecord();
        std::erase_if(updateHandlers_, [](const auto& h) { return !h.first; });
        const auto handlers = updateHandlers_;
        for (const auto& h : handlers)
            if (h.first && h.second) h.second();
        break;
    }
    }
}

} // namespace fw
