#include "platform/ui/grid/grid_filter_proxy.h"

#include <algorithm>

#include "platform/ui/grid/query_table_model.h"

namespace platform::ui {

GridFilterProxy::GridFilterProxy(QObject* parent) : QSortFilterProxyModel(parent) {
    // Rows stay where they are while the operator edits them; the next filter, sort or reload
    // places them again.
    setDynamicSortFilter(false);
}

void GridFilterProxy::setSourceModel(QAbstractItemModel* model) {
    model_ = qobject_cast<const QueryTableModel*>(model);
    Q_ASSERT(model_ || !model);
    filters_.clear();
    groupColumns_.clear();
    userColumn_ = -1;
    QSortFilterProxyModel::setSourceModel(model);
}

void GridFilterProxy::setColumnFilter(int column, const QString& text) {
    auto it = std::find_if(filters_.begin(), filters_.end(), [column](const Filter& f) { return f.column == column; });
    if (text.isEmpty()) {
        if (it != filters_.end()) filters_.erase(it);
        return;
    }
    Filter f{column, text, text.toLower().toStdString()};
    if (it != filters_.end()) *it = std::move(f);
    else filters_.push_back(std::move(f));
}

QString GridFilterProxy::columnFilter(int column) const {
    for (const auto& f : filters_)
        if (f.column == column) return f.text;
    return {};
}

void GridFilterProxy::clearFilters() { filters_.clear(); }

void GridFilterProxy::applyFilters() {
    // One new mapping for the whole change: cheaper on a large list than removing and inserting
    // every run of rows that changed state.
    invalidate();
}

bool GridFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    for (const auto& f : filters_)
        if (!model_->matches(sourceRow, f.column, f.lower)) return false;
    return true;
}

void GridFilterProxy::sort(int column, Qt::SortOrder order) {
    userColumn_ = column;
    userOrder_ = order;
    resort();
}

void GridFilterProxy::setGroupColumns(std::vector<int> columns) {
    groupColumns_ = std::move(columns);
    resort();
}

void GridFilterProxy::resort() {
    if (!model_ || model_->columnCount() == 0 || (userColumn_ < 0 && groupColumns_.empty())) {
        QSortFilterProxyModel::sort(-1);
        return;
    }
    for (int c : groupColumns_) model_->ranks(c);  // made here, not inside the first comparison
    if (userColumn_ >= 0) model_->ranks(userColumn_);
    // Always "ascending" for the base class: lessThan() applies the directions itself.
    QSortFilterProxyModel::sort(0, Qt::AscendingOrder);
}

bool GridFilterProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const auto a = static_cast<size_t>(left.row());
    const auto b = static_cast<size_t>(right.row());
    for (int c : groupColumns_) {
        const auto& rank = model_->ranks(c);
        if (rank[a] != rank[b]) return rank[a] < rank[b];
    }
    if (userColumn_ < 0) return false;
    const auto& rank = model_->ranks(userColumn_);
    return userOrder_ == Qt::AscendingOrder ? rank[a] < rank[b] : rank[b] < rank[a];
}

}  // namespace platform::ui
