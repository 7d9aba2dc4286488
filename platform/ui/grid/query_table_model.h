#pragma once
// The rows of a query (or of an in-memory table) as a table model for the grid. The model keeps
// no copy of the values: it reads the source's value rows and formats the few cells a view paints.
// For the filter row it keeps, per column, the lower-case display text of every row in one buffer,
// made once per load; for sorting and grouping, a rank per row, made when first asked.

#include <QAbstractTableModel>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memtable/mem_table.h"
#include "platform/pg/query.h"
#include "platform/ui/grid/grid_column.h"
#include "platform/ui/grid/grid_format.h"

namespace platform::ui {

class QueryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit QueryTableModel(QObject* parent = nullptr);

    void bind(platform::pg::Query* query, std::vector<GridColumn> columns);
    void bind(const platform::memtable::MemTable* table, std::vector<GridColumn> columns);  // read-only
    void reload();  // after the source was opened, refreshed, closed or changed

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Posts the edited text of a writable column to the query by key (empty text is NULL). A
    // refused edit shows the database's error and leaves the row as it was.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    const std::vector<GridColumn>& columns() const { return columns_; }
    int columnOf(const std::string& field) const;  // -1 when the grid has no such column
    platform::pg::Query* query() const { return query_; }
    const platform::memtable::MemTable* table() const { return table_; }
    bool hasSource() const { return query_ || table_; }

    CellRef cell(int row, int column) const;  // empty when the source no longer has the cell
    platform::pg::FieldKind kind(int column) const { return kinds_[static_cast<size_t>(column)]; }
    QString displayText(int row, int column) const;
    // Whether the lower-case display text of a cell contains `lowerNeedle`.
    bool matches(int row, int column, std::string_view lowerNeedle) const;
    // The number a footer adds for a cell (0 for a cell that is not a number).
    double sumValue(int row, int column) const;
    // Order keys of a column: equal values share a rank, NULL ranks lowest.
    const std::vector<int>& ranks(int column) const;

    // Reads row `row` of the query again after it changed there (an edit, a memo posted).
    void rowChanged(int row);
    // Writes fields of a row to the query by key; throws the database's error.
    void updateRow(int row, const std::map<std::string, platform::pg::Value>& changes);
    // Deletes a row from the database by key and from the model; throws the database's error,
    // in which case nothing changed.
    void removeSourceRow(int row);

private:
    struct FilterText {
        std::string chars;                 // lower-case display texts of all rows, back to back
        std::vector<std::uint32_t> start;  // row r is [start[r], start[r + 1]); high bit: too long, kept out
    };
    void bindColumns(std::vector<GridColumn> columns);
    void buildColumn(size_t column);
    void appendFilterText(FilterText& f, CellRef cell, GridColumn::Format format, std::string& scratch) const;
    int sourceRowCount() const;
    std::vector<int> computeRanks(int column) const;

    platform::pg::Query* query_ = nullptr;
    const platform::memtable::MemTable* table_ = nullptr;
    std::vector<GridColumn> columns_;
    std::vector<int> sourceField_;  // per column: the source's field index, -1 when absent
    std::vector<platform::pg::FieldKind> kinds_;
    int rows_ = 0;
    std::vector<FilterText> filterText_;
    std::vector<std::vector<double>> sums_;  // per column; empty unless it has a footer sum
    mutable std::vector<std::vector<int>> ranks_;
    // While a deleted row leaves the model: its values, for views that look at it one last time.
    int removing_ = -1;
    std::vector<platform::pg::Value> removedRow_;
};

}  // namespace platform::ui
