#include "platform/ui/grid/query_table_model.h"

#include <QCollator>
#include <algorithm>
#include <numeric>

#include "platform/ui/dialogs.h"

namespace platform::ui {
namespace {

using platform::pg::FieldKind;
using platform::pg::Value;

constexpr std::uint32_t kLongText = 0x80000000u;  // flag in FilterText::start
constexpr std::uint32_t kOffsetMask = ~kLongText;
// Longer cells (whole XML documents, long remarks) are searched in place instead of copied.
constexpr size_t kMaxKeptText = 256;

std::uint32_t offsetOf(std::uint32_t start) { return start & kOffsetMask; }

bool sortsAsNumber(FieldKind kind) {
    switch (kind) {
        case FieldKind::Integer:
        case FieldKind::BigInt:
        case FieldKind::Numeric:
        case FieldKind::Boolean:
        case FieldKind::Date:
        case FieldKind::Timestamp: return true;
        case FieldKind::Text:
        case FieldKind::Bytes: return false;
    }
    return false;
}

double numericKey(const Value& v) {
    const auto& raw = v.raw();
    if (const auto* d = std::get_if<platform::pg::Date>(&raw))
        return static_cast<double>(std::chrono::sys_days{*d}.time_since_epoch().count());
    if (const auto* t = std::get_if<platform::pg::Timestamp>(&raw))
        return static_cast<double>(t->time_since_epoch().count()) / 86400e6;  // days, as dates are
    if (const auto* b = std::get_if<bool>(&raw)) return *b ? 1 : 0;
    const auto n = numberOf(CellRef{&v, nullptr});
    return n ? *n : 0;
}

std::string_view rawText(CellRef c, std::string& scratch) {
    if (c.text) return *c.text;
    if (const auto* s = std::get_if<std::string>(&c.value->raw())) return *s;
    scratch = c.value->asString();
    return scratch;
}

}  // namespace

QueryTableModel::QueryTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void QueryTableModel::bind(platform::pg::Query* query, std::vector<GridColumn> columns) {
    query_ = query;
    table_ = nullptr;
    bindColumns(std::move(columns));
}

void QueryTableModel::bind(const platform::memtable::MemTable* table, std::vector<GridColumn> columns) {
    query_ = nullptr;
    table_ = table;
    for (auto& c : columns) c.writable = false;
    bindColumns(std::move(columns));
}

void QueryTableModel::bindColumns(std::vector<GridColumn> columns) {
    beginResetModel();
    columns_ = std::move(columns);
    for (auto& c : columns_)
        if (c.caption.isEmpty()) c.caption = QString::fromStdString(c.field);
    rows_ = 0;
    filterText_.clear();
    sums_.clear();
    ranks_.clear();
    endResetModel();
    reload();
}

int QueryTableModel::sourceRowCount() const {
    if (query_) return query_->isOpen() ? query_->rowCount() : 0;
    if (table_) return table_->isOpen() ? table_->rowCount() : 0;
    return 0;
}

void QueryTableModel::reload() {
    beginResetModel();
    removing_ = -1;
    sourceField_.assign(columns_.size(), -1);
    kinds_.assign(columns_.size(), FieldKind::Text);
    for (size_t c = 0; c < columns_.size(); ++c) {
        if (query_ && query_->isOpen()) {
            sourceField_[c] = query_->columnIndex(columns_[c].field);
            if (sourceField_[c] >= 0) kinds_[c] = query_->columns()[static_cast<size_t>(sourceField_[c])].kind;
        } else if (table_) {
            sourceField_[c] = table_->fieldIndex(columns_[c].field);
        }
    }
    rows_ = sourceRowCount();
    filterText_.assign(columns_.size(), {});
    sums_.assign(columns_.size(), {});
    ranks_.assign(columns_.size(), {});
    for (size_t c = 0; c < columns_.size(); ++c) buildColumn(c);
    endResetModel();
}

void QueryTableModel::appendFilterText(FilterText& f, CellRef cell, GridColumn::Format format,
                                       std::string& scratch) const {
    scratch.clear();
    appendDisplayText(scratch, cell, format);
    if (scratch.size() > kMaxKeptText || f.chars.size() + scratch.size() * 3 >= kOffsetMask) {
        f.start.push_back(static_cast<std::uint32_t>(f.chars.size()) | kLongText);
        return;
    }
    f.start.push_back(static_cast<std::uint32_t>(f.chars.size()));
    appendLower(f.chars, scratch);
}

void QueryTableModel::buildColumn(size_t column) {
    auto& f = filterText_[column];
    f.start.reserve(static_cast<size_t>(rows_) + 1);
    std::string scratch;
    const auto format = columns_[column].format;
    const bool sum = columns_[column].footerSum;
    if (sum) sums_[column].resize(static_cast<size_t>(rows_));
    for (int r = 0; r < rows_; ++r) {
        const CellRef c = cell(r, static_cast<int>(column));
        appendFilterText(f, c, format, scratch);
        if (sum) sums_[column][static_cast<size_t>(r)] = numberOf(c).value_or(0);
    }
    f.start.push_back(static_cast<std::uint32_t>(f.chars.size()));
    f.chars.shrink_to_fit();
}

int QueryTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int QueryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

int QueryTableModel::columnOf(const std::string& field) const {
    for (size_t c = 0; c < columns_.size(); ++c)
        if (columns_[c].field == field) return static_cast<int>(c);
    return -1;
}

CellRef QueryTableModel::cell(int row, int column) const {
    if (column < 0 || static_cast<size_t>(column) >= sourceField_.size() || row < 0 || row >= rows_) return {};
    const int field = sourceField_[static_cast<size_t>(column)];
    if (field < 0) return {};
    const auto f = static_cast<size_t>(field);
    if (query_) {
        if (removing_ >= 0) {
            if (row == removing_) return f < removedRow_.size() ? CellRef{&removedRow_[f], nullptr} : CellRef{};
            if (row > removing_) --row;
        }
        // A query refreshed or closed behind the model's back shows blanks until the next reload.
        if (!query_->isOpen() || row >= query_->rowCount()) return {};
        const auto& values = query_->row(row);
        return f < values.size() ? CellRef{&values[f], nullptr} : CellRef{};
    }
    if (table_ && row < table_->rowCount()) {
        const auto& values = table_->row(row);
        return f < values.size() ? CellRef{nullptr, &values[f]} : CellRef{};
    }
    return {};
}

QString QueryTableModel::displayText(int row, int column) const {
    const CellRef c = cell(row, column);
    if (c.isNull()) return {};
    return QString::fromStdString(platform::ui::displayText(c, columns_[static_cast<size_t>(column)].format));
}

bool QueryTableModel::matches(int row, int column, std::string_view lowerNeedle) const {
    const auto& f = filterText_[static_cast<size_t>(column)];
    const std::uint32_t start = f.start[static_cast<size_t>(row)];
    if (!(start & kLongText)) {
        const std::uint32_t end = offsetOf(f.start[static_cast<size_t>(row) + 1]);
        return std::string_view(f.chars).substr(start, end - start).find(lowerNeedle) != std::string_view::npos;
    }
    const std::string text = platform::ui::displayText(cell(row, column), columns_[static_cast<size_t>(column)].format);
    return containsIgnoringCase(text, lowerNeedle);
}

double QueryTableModel::sumValue(int row, int column) const {
    const auto& s = sums_[static_cast<size_t>(column)];
    if (static_cast<size_t>(row) < s.size()) return s[static_cast<size_t>(row)];
    return numberOf(cell(row, column)).value_or(0);
}

const std::vector<int>& QueryTableModel::ranks(int column) const {
    auto& r = ranks_[static_cast<size_t>(column)];
    if (r.size() != static_cast<size_t>(rows_)) r = computeRanks(column);
    return r;
}

std::vector<int> QueryTableModel::computeRanks(int column) const {
    std::vector<int> rank(static_cast<size_t>(rows_), 0);  // NULL: 0
    std::vector<int> order;
    order.reserve(static_cast<size_t>(rows_));
    for (int r = 0; r < rows_; ++r)
        if (!cell(r, column).isNull()) order.push_back(r);
    auto assign = [&](auto&& equal) {
        int next = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            if (i == 0 || !equal(order[i - 1], order[i])) ++next;
            rank[static_cast<size_t>(order[i])] = next;
        }
    };
    if (query_ && sortsAsNumber(kind(column))) {
        std::vector<double> key(static_cast<size_t>(rows_));
        for (int r : order) key[static_cast<size_t>(r)] = numericKey(*cell(r, column).value);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key[size_t(a)] < key[size_t(b)]; });
        assign([&](int a, int b) { return key[size_t(a)] == key[size_t(b)]; });
        return rank;
    }
    QCollator collator;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(order.size());
    std::vector<int> slot(static_cast<size_t>(rows_), -1);
    std::string scratch;
    for (int r : order) {
        const std::string_view text = rawText(cell(r, column), scratch);
        slot[static_cast<size_t>(r)] = static_cast<int>(keys.size());
        keys.push_back(collator.sortKey(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))));
    }
    const auto& k = keys;
    auto key = [&](int r) -> const QCollatorSortKey& { return k[static_cast<size_t>(slot[static_cast<size_t>(r)])]; };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key(a).compare(key(b)) < 0; });
    assign([&](int a, int b) { return key(a).compare(key(b)) == 0; });
    return rank;
}

QVariant QueryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto& column = columns_[static_cast<size_t>(index.column())];
    switch (role) {
        case Qt::DisplayRole: return displayText(index.row(), index.column());
        case Qt::EditRole: {
            const CellRef c = cell(index.row(), index.column());
            std::string scratch;
            if (c.isNull()) return QString();
            const std::string_view text = rawText(c, scratch);
            return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        }
        case Qt::TextAlignmentRole: {
            const bool number = column.format == GridColumn::Format::Number ||
                                (column.format == GridColumn::Format::Auto && query_ &&
                                 (kind(index.column()) == FieldKind::Numeric || kind(index.column()) == FieldKind::Integer ||
                                  kind(index.column()) == FieldKind::BigInt));
            return static_cast<int>(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
        }
        default: return {};
    }
}

QVariant QueryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return columns_[static_cast<size_t>(section)].caption;
    return {};
}

Qt::ItemFlags QueryTableModel::flags(const QModelIndex& index) const {
    auto f = QAbstractTableModel::flags(index);
    if (index.isValid() && query_ && columns_[static_cast<size_t>(index.column())].writable) f |= Qt::ItemIsEditable;
    return f;
}

bool QueryTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable)) return false;
    const QString text = value.toString();
    if (data(index, Qt::EditRole).toString() == text) return true;  // nothing to post
    const auto& field = columns_[static_cast<size_t>(index.column())].field;
    return runGuarded(nullptr, [&] {
        updateRow(index.row(), {{field, text.isEmpty() ? Value() : Value(text.toStdString())}});
    });
}

void QueryTableModel::updateRow(int row, const std::map<std::string, Value>& changes) {
    if (!query_) throw std::logic_error("The grid's rows cannot be edited");
    query_->updateRow(row, changes);
    rowChanged(row);
}

void QueryTableModel::rowChanged(int row) {
    if (row < 0 || row >= rows_) return;
    std::string scratch;
    for (size_t c = 0; c < columns_.size(); ++c) {
        auto& f = filterText_[c];
        FilterText one;
        appendFilterText(one, cell(row, static_cast<int>(c)), columns_[c].format, scratch);
        const std::uint32_t from = offsetOf(f.start[static_cast<size_t>(row)]);
        const std::uint32_t to = offsetOf(f.start[static_cast<size_t>(row) + 1]);
        f.chars.replace(from, to - from, one.chars);
        const auto shift = static_cast<std::int64_t>(one.chars.size()) - static_cast<std::int64_t>(to - from);
        f.start[static_cast<size_t>(row)] = from | (one.start[0] & kLongText);
        for (size_t r = static_cast<size_t>(row) + 1; r < f.start.size(); ++r)
            f.start[r] = static_cast<std::uint32_t>(static_cast<std::int64_t>(offsetOf(f.start[r])) + shift) |
                         (f.start[r] & kLongText);
        if (!sums_[c].empty()) sums_[c][static_cast<size_t>(row)] = numberOf(cell(row, static_cast<int>(c))).value_or(0);
        ranks_[c].clear();
    }
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void QueryTableModel::removeSourceRow(int row) {
    if (!query_) throw std::logic_error("The grid's rows cannot be deleted");
    if (row < 0 || row >= rows_) return;
    std::vector<Value> values = query_->row(row);
    query_->deleteRow(row);  // throws before anything changed here
    removing_ = row;
    removedRow_ = std::move(values);
    beginRemoveRows({}, row, row);
    for (size_t c = 0; c < columns_.size(); ++c) {
        auto& f = filterText_[c];
        const std::uint32_t from = offsetOf(f.start[static_cast<size_t>(row)]);
        const std::uint32_t length = offsetOf(f.start[static_cast<size_t>(row) + 1]) - from;
        f.chars.erase(from, length);
        f.start.erase(f.start.begin() + row);
        for (size_t r = static_cast<size_t>(row); r < f.start.size(); ++r)
            f.start[r] = (offsetOf(f.start[r]) - length) | (f.start[r] & kLongText);
        if (!sums_[c].empty()) sums_[c].erase(sums_[c].begin() + row);
        if (!ranks_[c].empty()) ranks_[c].erase(ranks_[c].begin() + row);  // still in order, gaps allowed
    }
    --rows_;
    removing_ = -1;
    removedRow_.clear();
    endRemoveRows();
}

}  // namespace platform::ui
