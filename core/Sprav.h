#pragma once

#include <QString>
#include <array>
#include <memory>

class QSplitter;
class TfmSetupList;
class TSpravTableFrame;
namespace fw {
class DataSet;
class DataSource;
class Query;
class StoredProc;
class UpdateSql;
}

// One level of a reference list: its table, key, key procedure and the one or
// two fields shown.
struct TSpravTable {
    QString TableName;
    QString KeyField;
    QString IdProc;
    QString Field1;
    QString Caption1;
    QString Field2;
    QString Caption2;
};

// One reference list of one to three levels (master, detail, sub-detail).
struct TSpravRec {
    QString Name;
    int Count = 0;
    std::array<TSpravTable, 3> Tables;
};

constexpr int SpravCount = 10;
extern const std::array<TSpravRec, SpravCount> SpravList;

// The editor of one list: a grid per level over its table, the detail levels
// following the row of the level above. Everything written is committed at once.
class TSprav {
public:
    TSprav(int index, TfmSetupList* form);
    virtual ~TSprav();
    TSprav(const TSprav&) = delete;
    TSprav& operator=(const TSprav&) = delete;

    std::array<fw::DataSource*, 3> DataSources{};
    std::array<std::unique_ptr<fw::StoredProc>, 3> StoredProcs;
    std::array<TSpravTableFrame*, 3> Grids{};
    int Index;
    QSplitter* Panel = nullptr;
    bool Built = false;
    TSpravRec Rec;
    std::array<fw::Query*, 3> Queries{};
    std::array<std::unique_ptr<fw::UpdateSql>, 3> UpdateSQLs;

    virtual void DataSetBeforePost(fw::DataSet& ds);
    virtual void Build();
    virtual void AddClick(int level);
    virtual void DataSetBeforeInsert(fw::DataSet& ds);
    virtual void DataSetBeforeEdit(fw::DataSet& ds);
    virtual void DataSetBeforeDelete(fw::DataSet& ds);

    void Show();
    void Hide();
    void DelClick(int level);
    // Posts what was typed and cancels an untouched new row, on every level.
    void CheckBrowseModeAll();

    // The level of one of this editor's queries (its tag); -1 for another data set.
    int Level(const fw::DataSet& ds) const;

protected:
    TfmSetupList* Form;
};

// List 0: the files of a mailing item are chosen in the file dialog.
class TSpravRassyl : public TSprav {
public:
    using TSprav::TSprav;
    void AddClick(int level) override;
};

// List 1: goods carry a price, never empty.
class TSpravTovar : public TSprav {
public:
    using TSprav::TSprav;
    void Build() override;
    void DataSetBeforePost(fw::DataSet& ds) override;
    void TovarNewRecord(fw::DataSet& ds);
};

// List 3: a district's regions are existing regions assigned to it, not rows
// of their own.
class TSpravRR : public TSprav {
public:
    using TSprav::TSprav;
    void Build() override;
    void DataSetBeforePost(fw::DataSet& ds) override;
    void DataSetBeforeInsert(fw::DataSet& ds) override;
    void DataSetBeforeEdit(fw::DataSet& ds) override;
    void DataSetBeforeDelete(fw::DataSet& ds) override;
    void RegionNewRecord(fw::DataSet& ds);
};

// The editors of one window, created on demand, and the list shown.
class TSpravMan {
public:
    explicit TSpravMan(TfmSetupList* form);
    ~TSpravMan();
    TSpravMan(const TSpravMan&) = delete;
    TSpravMan& operator=(const TSpravMan&) = delete;

    TSprav* GetSprav(int n);
    void SelectSprav(int n);
    // Posts what is being typed in every list; throws when a post fails.
    void PostAll();
    int Current = 0;

private:
    TfmSetupList* Form;
    std::array<std::unique_ptr<TSprav>, SpravCount> Sprav;
};
