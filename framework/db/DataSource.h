#pragma once

#include "DataSet.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

namespace fw {

class Query;

// The link between one data set and the controls bound to it. It relays the
// data set's notifications while it is enabled (and the data set's controls are
// not disabled); a disabled source reads as inactive.
//
// The signals are notifications only and must not throw. A control that has to
// write its typed text back before a post (and may refuse, e.g. "'x' is not a
// valid integer value") registers an update handler instead: handlers are
// called directly from the data set's post, so their exceptions stop the post.
class DataSource : public QObject {
    Q_OBJECT
public:
    explicit DataSource(QObject* parent = nullptr);
    explicit DataSource(DataSet* ds, QObject* parent = nullptr);
    ~DataSource() override;

    DataSet* dataSet() const { return ds_; }
    void setDataSet(DataSet* ds);
    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    DataSetState state() const;

    // Called (in order of registration) when the data set asks its controls to
    // write their values into the fields; dropped when owner is destroyed.
    void addUpdateHandler(QObject* owner, std::function<void()> handler);
    void removeUpdateHandlers(QObject* owner);

signals:
    void dataSetChanged();                  // another data set (or none) is linked
    void stateChanged();
    void dataChanged();                     // everything may have changed, the current row too
    // The current record changed: field == nullptr after a move, post, cancel or
    // reopen; the field when one field was set.
    void recordChanged(fw::Field* field);
    void updateRecord();                    // the data set is about to post
    void rowInserted(int row);
    void rowRemoved(int row);
    void rowChanged(int row);
    void currentChanged(int row);

private:
    friend class DataSet;
    friend class Query;

    void handle(int event, int row, Field* field);   // DataSet::Event
    void recordMoved();
    bool live() const { return enabled_ && ds_; }

    QPointer<DataSet> ds_;
    bool enabled_ = true;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> updateHandlers_;
    QList<QPointer<Query>> details_;
};

} // namespace fw
