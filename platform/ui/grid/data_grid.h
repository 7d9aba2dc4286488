#pragma once
// The data grid every list screen shows: a table view over a database query, a filter row under
// the headers (case-insensitive, applied as the user types, combinable across columns), sorting by
// header click, a footer with column sums, a navigator bar with its "row i of n" panel, memo boxes
// bound to the current row, and write-back of edited fields and deleted rows by key.

#include <QAbstractTableModel>
#include <QDateTime>
#include <QSortFilterProxyModel>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/pg/query.h"

class QTableView;
class QLineEdit;
class QLabel;
class QPushButton;
class QPlainTextEdit;
class QHBoxLayout;
class QTimer;
class QTreeWidget;

namespace platform::ui {

struct GridColumn {
    enum class Format { Text, Date, DateTime, Number };
    std::string field;
    QString caption;  // the field name when empty
    Format format = Format::Text;
    bool writable = false;
    bool footerSum = false;
};

// The query's rows as a table model. Display text is formatted once per load, so filtering and
// painting never format again.
class QueryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit QueryTableModel(QObject* parent = nullptr);
    void bind(platform::pg::Query* query, std::vector<GridColumn> columns);
    void reload();  // after the query was opened, refreshed or changed

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    const std::vector<GridColumn>& columns() const { return columns_; }
    platform::pg::Query* query() const { return query_; }
    const QString& lowerText(int row, int column) const;
    // The value as a spreadsheet wants it: QDate/QDateTime, double, or text.
    QVariant typedValue(int row, int column) const;
    bool removeSourceRow(int row);  // deletes by key in the database
    // Sort keys of a column, made once per load: numbers, dates and times compare as numbers.
    struct SortKey {
        bool null = true;
        double number = 0;
        QString text;
    };
    const std::vector<SortKey>& sortKeys(int column) const;

    static QString display(const platform::pg::Value& v, GridColumn::Format format);

private:
    platform::pg::Query* query_ = nullptr;
    std::vector<GridColumn> columns_;
    std::vector<int> queryColumn_;
    std::vector<std::vector<QString>> text_;
    std::vector<std::vector<QString>> lower_;
    mutable std::vector<std::vector<SortKey>> sortKeys_;
};

class GridFilterProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setColumnFilter(int column, const QString& text);
    QString columnFilter(int column) const;
    void clearFilters();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    std::vector<QString> filters_;
};

class DataGrid : public QWidget {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);

    void setQuery(platform::pg::Query* query, std::vector<GridColumn> columns);
    void reload();  // call after the query was opened or refreshed
    // Memo boxes below the grid follow the current row; an editable one writes back on leaving.
    void bindMemo(QPlainTextEdit* memo, const std::string& field, bool editable);

    // Rows as the grid shows them (filter and sort applied), as row indexes of the query.
    std::vector<int> rowsInViewOrder() const;
    int visibleRowCount() const;
    int currentSourceRow() const;  // -1 when there is none
    void setCurrentViewRow(int viewRow);
    // Sum of a column over the rows shown.
    double footerSum(const std::string& field) const;
    void setColumnFilter(const std::string& field, const QString& text);  // as if typed
    void sortBy(const std::string& field, Qt::SortOrder order);

    QTableView* view() const { return view_; }
    const QueryTableModel& model() const { return *model_; }
    const GridFilterProxy& proxy() const { return *proxy_; }
    QLabel* infoPanel() const { return info_; }

    // Grouping by one or more columns (the header's context menu, or a screen): the rows are shown
    // under their groups, every group with its row count and the sums of the footer columns.
    // rowsInViewOrder() then gives the rows group by group, groups expanded.
    void setGroupColumns(std::vector<std::string> fields);
    const std::vector<std::string>& groupColumns() const { return groupFields_; }
    QTreeWidget* groupView() const { return groupView_; }

    // Called before the grid asks the query to refresh (the owner may reopen it instead).
    std::function<void()> onRefresh;

signals:
    void currentRowChanged(int sourceRow);

private:
    void buildFilterRow();
    void layoutFilterRow();
    void updateFooterAndInfo();
    void syncMemos();
    void deleteCurrent();
    void rebuildGroups();
    std::vector<int> groupedOrder() const;
    bool eventFilter(QObject* watched, QEvent* event) override;

    QueryTableModel* model_;
    GridFilterProxy* proxy_;
    QTableView* view_;
    QWidget* filterRow_;
    std::vector<QLineEdit*> filterEdits_;
    QTimer* filterTimer_;
    QLabel* footer_;
    QLabel* info_;
    QLabel* groupBox_;
    QTreeWidget* groupView_;
    std::vector<std::string> groupFields_;
    struct BoundMemo {
        QPlainTextEdit* memo;
        std::string field;
        bool editable;
    };
    std::vector<BoundMemo> memos_;
};

// The grid's view as shown (visible columns in order with their captions, the rows that pass the
// filter in the current sort, footer sums) as an .xlsx file: dates as dates, numbers as numbers.
// Written beside the target and renamed, so a failed export leaves no half file; raises
// std::runtime_error with the system's reason.
void exportGridToXlsx(const DataGrid& grid, const QString& path);

// The shared grid style sheet.
QString gridStyleSheet();

}  // namespace platform::ui
