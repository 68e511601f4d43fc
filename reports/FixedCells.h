#pragma once

#include <QObject>

class QTableView;

// Keeps the first row and the first column of a table in view while it scrolls, as the
// fixed row and column of a string grid: views of the same model, drawn by the same
// delegate, lie over the table's top and left edges and follow its scrolling and sizes.
class TFixedCells : public QObject {
    Q_OBJECT
public:
    explicit TFixedCells(QTableView* table);

    QTableView* TopRow() const { return top_; }
    QTableView* LeftColumn() const { return left_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QTableView* makeView();
    bool tableAlive() const;
    void syncSizes();
    void place();

    QTableView* table_;
    QTableView* top_;
    QTableView* left_;
    QTableView* corner_;
};
