#include "platform/ui/grid/grid_group_model.h"

#include <QBrush>
#include <QFont>

#include "platform/ui/grid/grid_filter_proxy.h"
#include "platform/ui/grid/grid_format.h"
#include "platform/ui/grid/grid_style.h"
#include "platform/ui/grid/query_table_model.h"

namespace platform::ui {

GridGroupLayout GridGroupLayout::build(const GridFilterProxy& proxy) {
    GridGroupLayout l;
    const auto* model = proxy.queryModel();
    const auto& columns = proxy.groupColumns();
    if (!model || columns.empty()) return l;
    const size_t levels = columns.size();
    const auto width = static_cast<size_t>(model->columnCount());
    std::vector<int> sumColumns;
    for (size_t c = 0; c < width; ++c)
        if (model->columns()[c].footerSum) sumColumns.push_back(static_cast<int>(c));
    std::vector<const std::vector<int>*> ranks;
    for (int c : columns) ranks.push_back(&model->ranks(c));

    std::vector<int> open(levels, -1), openRank(levels, 0);
    std::vector<std::vector<long double>> totals(levels, std::vector<long double>(width, 0));
    auto close = [&](size_t from) {  // this level and the ones inside it, innermost first
        for (size_t lv = levels; lv-- > from;) {
            if (open[lv] < 0) continue;
            auto& g = l.groups[static_cast<size_t>(open[lv])];
            g.sums.assign(width, 0);
            for (int c : sumColumns) g.sums[static_cast<size_t>(c)] = static_cast<double>(totals[lv][static_cast<size_t>(c)]);
            std::fill(totals[lv].begin(), totals[lv].end(), 0);
            l.entries.push_back({GridLayoutEntry::Kind::GroupFooter, open[lv]});
            open[lv] = -1;
        }
    };
    l.groupOfRow.assign(static_cast<size_t>(model->rowCount()), -1);
    const int n = proxy.rowCount();
    for (int p = 0; p < n; ++p) {
        const int row = proxy.mapToSource(proxy.index(p, 0)).row();
        size_t changed = levels;
        for (size_t lv = 0; lv < levels && changed == levels; ++lv)
            if (open[lv] < 0 || (*ranks[lv])[static_cast<size_t>(row)] != openRank[lv]) changed = lv;
        if (changed < levels) {
            close(changed);
            for (size_t lv = changed; lv < levels; ++lv) {
                GridGroup g;
                g.level = static_cast<int>(lv);
                g.column = columns[lv];
                g.parent = lv ? open[lv - 1] : -1;
                QString value = model->displayText(row, g.column);
                if (value.isEmpty()) value = QStringLiteral("(gol)");
                g.caption = model->columns()[static_cast<size_t>(g.column)].caption + QStringLiteral(": ") + value;
                g.path = (lv ? l.groups[static_cast<size_t>(g.parent)].path + QChar(0x1f) : QString()) + g.caption;
                open[lv] = static_cast<int>(l.groups.size());
                openRank[lv] = (*ranks[lv])[static_cast<size_t>(row)];
                l.groups.push_back(std::move(g));
                l.entries.push_back({GridLayoutEntry::Kind::GroupHeader, open[lv]});
            }
        }
        l.entries.push_back({GridLayoutEntry::Kind::Data, row});
        l.groupOfRow[static_cast<size_t>(row)] = open[levels - 1];
        for (size_t lv = 0; lv < levels; ++lv) {
            ++l.groups[static_cast<size_t>(open[lv])].rowCount;
            for (int c : sumColumns) totals[lv][static_cast<size_t>(c)] += model->sumValue(row, c);
        }
    }
    close(0);
    return l;
}

QString GridGroupLayout::headerText(int group) const {
    const auto& g = groups[static_cast<size_t>(group)];
    return g.caption + QStringLiteral(" (%1)").arg(g.rowCount);
}

GridGroupModel::GridGroupModel(GridFilterProxy* proxy, QueryTableModel* model, QObject* parent)
    : QAbstractTableModel(parent), proxy_(proxy), model_(model) {
    // Every change of the proxy's rows resets this model: begun before the proxy changes (so a
    // view can note its current row), ended with the new layout.
    auto before = [this] {
        if (active_ && !resetting_) {
            resetting_ = true;
            beginResetModel();
        }
    };
    auto after = [this] {
        if (!active_) return;
        if (!resetting_) return rebuild();
        layout_ = GridGroupLayout::build(*proxy_);
        makeVisible();
        resetting_ = false;
        endResetModel();
    };
    connect(proxy_, &QAbstractItemModel::modelAboutToBeReset, this, before);
    connect(proxy_, &QAbstractItemModel::layoutAboutToBeChanged, this, before);
    connect(proxy_, &QAbstractItemModel::rowsAboutToBeInserted, this, before);
    connect(proxy_, &QAbstractItemModel::rowsAboutToBeRemoved, this, before);
    connect(proxy_, &QAbstractItemModel::modelReset, this, after);
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, after);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, after);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, after);
    connect(proxy_, &QAbstractItemModel::dataChanged, this, [this] {
        if (active_) refreshValues();
    });
    connect(proxy_, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
}

void GridGroupModel::setActive(bool active) {
    active_ = active;
    rebuild();
}

void GridGroupModel::rebuild() {
    beginResetModel();
    layout_ = active_ ? GridGroupLayout::build(*proxy_) : GridGroupLayout{};
    makeVisible();
    endResetModel();
}

void GridGroupModel::refreshValues() {
    GridGroupLayout fresh = GridGroupLayout::build(*proxy_);
    if (fresh.entries != layout_.entries) return rebuild();
    layout_ = std::move(fresh);  // same rows in the same places: new sums and captions only
    if (!visible_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void GridGroupModel::makeVisible() {
    visible_.clear();
    rowOfSourceRow_.assign(active_ ? static_cast<size_t>(model_->rowCount()) : 0, -1);
    int hiddenBy = -1;  // the collapsed group whose insides are being skipped
    for (const auto& e : layout_.entries) {
        if (hiddenBy >= 0) {
            if (e.kind == GridLayoutEntry::Kind::GroupFooter && e.index == hiddenBy) {
                visible_.push_back(e);
                hiddenBy = -1;
            }
            continue;
        }
        if (e.kind == GridLayoutEntry::Kind::Data) rowOfSourceRow_[static_cast<size_t>(e.index)] = static_cast<int>(visible_.size());
        visible_.push_back(e);
        if (e.kind == GridLayoutEntry::Kind::GroupHeader && !isExpanded(e.index)) hiddenBy = e.index;
    }
}

int GridGroupModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(visible_.size());
}

int GridGroupModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : proxy_->columnCount();
}

int GridGroupModel::sourceRowOf(int row) const {
    if (row < 0 || row >= rowCount()) return -1;
    const auto e = entry(row);
    return e.kind == GridLayoutEntry::Kind::Data ? e.index : -1;
}

int GridGroupModel::rowOfSourceRow(int sourceRow) const {
    return sourceRow >= 0 && static_cast<size_t>(sourceRow) < rowOfSourceRow_.size()
               ? rowOfSourceRow_[static_cast<size_t>(sourceRow)]
               : -1;
}

int GridGroupModel::rowOfGroupHeader(int group) const {
    for (size_t r = 0; r < visible_.size(); ++r)
        if (visible_[r].kind == GridLayoutEntry::Kind::GroupHeader && visible_[r].index == group) return static_cast<int>(r);
    return -1;
}

void GridGroupModel::reveal(int sourceRow) {
    if (sourceRow < 0 || static_cast<size_t>(sourceRow) >= layout_.groupOfRow.size()) return;
    bool changed = false;
    for (int g = layout_.groupOfRow[static_cast<size_t>(sourceRow)]; g >= 0; g = layout_.groups[static_cast<size_t>(g)].parent)
        changed |= collapsed_.remove(layout_.groups[static_cast<size_t>(g)].path);
    if (!changed) return;
    beginResetModel();
    makeVisible();
    endResetModel();
}

bool GridGroupModel::isExpanded(int group) const {
    return !collapsed_.contains(layout_.groups[static_cast<size_t>(group)].path);
}

void GridGroupModel::setExpanded(int group, bool expanded) {
    if (group < 0 || static_cast<size_t>(group) >= layout_.groups.size() || isExpanded(group) == expanded) return;
    const QString& path = layout_.groups[static_cast<size_t>(group)].path;
    if (expanded) collapsed_.remove(path);
    else collapsed_.insert(path);
    beginResetModel();
    makeVisible();
    endResetModel();
}

void GridGroupModel::setAllExpanded(bool expanded) {
    collapsed_.clear();
    if (!expanded)
        for (const auto& g : layout_.groups) collapsed_.insert(g.path);
    beginResetModel();
    makeVisible();
    endResetModel();
}

QVariant GridGroupModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto e = entry(index.row());
    const auto& style = GridTableViewStyleSheetDevExpress;
    switch (e.kind) {
        case GridLayoutEntry::Kind::Data: return model_->data(model_->index(e.index, index.column()), role);
        case GridLayoutEntry::Kind::GroupHeader: {
            const auto& g = layout_.groups[static_cast<size_t>(e.index)];
            if (role == Qt::DisplayRole && index.column() == 0)
                return QString(g.level * 4, QLatin1Char(' ')) + (isExpanded(e.index) ? QStringLiteral("\u25BE ") : QStringLiteral("\u25B8 ")) +
                       layout_.headerText(e.index);
            if (role == Qt::BackgroundRole) return QBrush(style.groupRows.background);
            return {};
        }
        case GridLayoutEntry::Kind::GroupFooter: {
            const auto& g = layout_.groups[static_cast<size_t>(e.index)];
            const auto& column = model_->columns()[static_cast<size_t>(index.column())];
            if (role == Qt::DisplayRole) return column.footerSum ? money(g.sums[static_cast<size_t>(index.column())]) : QVariant();
            if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
            if (role == Qt::BackgroundRole) return QBrush(style.footer.background);
            if (role == Qt::ForegroundRole) return QBrush(style.footer.text);
            if (role == Qt::FontRole) return style.footer.font(QFont());
            return {};
        }
    }
    return {};
}

bool GridGroupModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const int r = index.isValid() ? sourceRowOf(index.row()) : -1;
    return r >= 0 && model_->setData(model_->index(r, index.column()), value, role);
}

QVariant GridGroupModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    return proxy_->headerData(section, orientation, role);
}

Qt::ItemFlags GridGroupModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    const int r = sourceRowOf(index.row());
    return r >= 0 ? model_->flags(model_->index(r, index.column())) : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void GridGroupModel::sort(int column, Qt::SortOrder order) { proxy_->sort(column, order); }

}  // namespace platform::ui
