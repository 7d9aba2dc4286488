#pragma once
// The grid's filter row and sort order over a QueryTableModel. Filters are case-insensitive
// "contains" tests on the lower-case display text the model made at load; sorting compares the
// model's ranks, so neither formats nor allocates per row. Grouped, the rows are ordered by the
// group columns first (always ascending), then by the clicked column; rows that compare equal keep
// the query's order.

#include <QSortFilterProxyModel>
#include <string>
#include <vector>

namespace platform::ui {

class QueryTableModel;

class GridFilterProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit GridFilterProxy(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* model) override;
    const QueryTableModel* queryModel() const { return model_; }

    // Changes the text of one column's filter; applyFilters() makes the change visible.
    void setColumnFilter(int column, const QString& text);
    QString columnFilter(int column) const;
    void clearFilters();
    void applyFilters();

    // The clicked column (-1: the query's own order) and the group columns.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int userSortColumn() const { return userColumn_; }
    Qt::SortOrder userSortOrder() const { return userOrder_; }
    void setGroupColumns(std::vector<int> columns);
    const std::vector<int>& groupColumns() const { return groupColumns_; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    void resort();

    struct Filter {
        int column;
        QString text;
        std::string lower;  // UTF-8
    };
    const QueryTableModel* model_ = nullptr;
    std::vector<Filter> filters_;
    std::vector<int> groupColumns_;
    int userColumn_ = -1;
    Qt::SortOrder userOrder_ = Qt::AscendingOrder;
};

}  // namespace platform::ui
