#pragma once
// The data grid every list screen shows: one table view bound to a database query (or to an
// in-memory table), with a filter row under the headers (case-insensitive "contains", applied as
// the operator types, combined across columns), sorting by a header click, a footer with column
// sums, grouping by one or more columns with group sums, a navigator bar with its "Inregistrarea
// i din n" panel, a row indicator, Enter moving to the next cell, one-line memo editors, memo
// boxes bound to the current row, and edits and deletions written back to the query by key.
//
// Source rows are the query's row indexes; "view rows" are the rows the grid shows, in its order
// (filter and sort applied, groups expanded), as rowsInViewOrder() lists them.

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/memtable/mem_table.h"
#include "platform/pg/query.h"
#include "platform/ui/grid/grid_column.h"
#include "platform/ui/grid/grid_export.h"
#include "platform/ui/grid/grid_filter_proxy.h"
#include "platform/ui/grid/grid_group_model.h"
#include "platform/ui/grid/grid_navigator.h"
#include "platform/ui/grid/grid_style.h"
#include "platform/ui/grid/query_table_model.h"

class QLabel;
class QMenu;
class QPlainTextEdit;
class QTableView;
class QTextEdit;
class QTimer;

namespace platform::ui {

class GridBoundMemos;
class GridFooter;
class GridGroupByBox;
class GridHeader;
class GridTableView;

class DataGrid : public QWidget {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);
    ~DataGrid() override;

    // Binds the grid; the grid never owns the source. Columns show in the order given.
    void setQuery(platform::pg::Query* query, std::vector<GridColumn> columns);
    void setTable(const platform::memtable::MemTable* table, std::vector<GridColumn> columns);
    // Shows the source's rows again: call after the query was opened, refreshed or closed. The
    // current row becomes the query's current row (a refresh keeps it by key).
    void reload();
    // Run by the navigator's refresh button instead of refreshing the query itself (a screen
    // that sets parameters first); the grid reloads afterwards either way.
    std::function<void()> onRefresh;

    // Whether the navigator may delete rows (after the confirmation); on by default.
    void setAllowDelete(bool allow);
    bool allowDelete() const { return allowDelete_; }
    void setNavigatorButtons(GridNavigator::Buttons buttons);
    void setColumnVisible(const std::string& field, bool visible);
    // Model columns as shown, left to right, hidden ones left out.
    std::vector<int> visibleColumns() const;

    // Memo boxes below the grid follow the current row; an editable one posts its text by key.
    void bindMemo(QPlainTextEdit* memo, const std::string& field, bool editable);
    void bindMemo(QTextEdit* memo, const std::string& field, bool editable);
    // Posts an open cell editor and typed memo text; false when the database refused.
    bool postPendingEdits();

    // Rows as the grid shows them (filter and sort applied, groups expanded), as source rows.
    std::vector<int> rowsInViewOrder() const;
    int visibleRowCount() const;
    int currentSourceRow() const;  // -1 when there is none (or a group row is current)
    int currentViewRow() const;    // its place in rowsInViewOrder(), -1 when none
    void setCurrentViewRow(int viewRow);
    bool setCurrentSourceRow(int sourceRow);  // false when that row is not shown
    // A field of the current row; NULL when there is no current row or no such field.
    platform::pg::Value currentValue(const std::string& field) const;
    const std::vector<platform::pg::Value>* currentRowValues() const;  // nullptr when none

    // The filter row, as if typed (applied at once); sorting as if the header was clicked
    // (an empty field: the query's own order).
    void setColumnFilter(const std::string& field, const QString& text);
    QString columnFilter(const std::string& field) const;
    void clearFilters();
    void sortBy(const std::string& field, Qt::SortOrder order);
    // Sum of a column over the rows shown.
    double footerSum(const std::string& field) const;

    // Grouping by one or more columns: group header rows with their row counts, group footers
    // with the sums of the footer columns.
    void setGroupColumns(std::vector<std::string> fields);
    const std::vector<std::string>& groupColumns() const { return groupFields_; }
    void setGroupsExpanded(bool expanded);
    // Every group expanded, for the export: empty when the grid is not grouped.
    const GridGroupLayout& groupLayout() const { return groups_->layout(); }

    QTableView* view() const;
    const QueryTableModel& model() const { return *model_; }
    const GridFilterProxy& proxy() const { return *proxy_; }
    const GridGroupModel& groupModel() const { return *groups_; }
    GridNavigator* navigator() const { return navigator_; }
    QLabel* infoPanel() const;
    QWidget* footer() const;
    QWidget* groupByBox() const;
    // The header's context menu for a column (-1: outside the columns); the caller owns it.
    QMenu* createHeaderMenu(int column);

signals:
    void currentRowChanged(int sourceRow);

private:
    void bindColumns();
    void attachViewModel();
    void applyTypedFilters();
    void rowsChanged();
    void currentChanged();
    void restoreCurrent();
    void updateFooter();
    void updateNavigator();
    void applySpans();
    void navigate(GridNavigator::Button button);
    void deleteCurrent();
    void editCurrent();
    void refresh();
    void showHeaderMenu(const QPoint& at);
    int viewIndexRowOf(int sourceRow) const;  // row in the view's model, -1 when not shown
    int sourceRowOfViewIndex(int row) const;
    GridHeader* header() const;

    QueryTableModel* model_;
    GridFilterProxy* proxy_;
    GridGroupModel* groups_;
    GridTableView* view_;
    GridFooter* footer_;
    GridNavigator* navigator_;
    GridGroupByBox* groupBox_;
    GridBoundMemos* memos_;
    QTimer* filterTimer_;
    std::vector<std::string> groupFields_;
    bool allowDelete_ = true;
    std::vector<double> sums_;  // per model column, over the rows shown
    int keepSourceRow_ = -1;    // the current row across a change of the view's rows
    int shownRow_ = -1;         // the source row the memo boxes and the query follow
    int quiet_ = 0;             // inside a change that places the current row itself
    std::vector<QMetaObject::Connection> viewModelConnections_;
};

}  // namespace platform::ui
