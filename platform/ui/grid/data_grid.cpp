#include "platform/ui/grid/data_grid.h"

#include <QHeaderView>
#include <QMenu>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ui/dialogs.h"
#include "platform/ui/grid/grid_bound_memos.h"
#include "platform/ui/grid/grid_delegate.h"
#include "platform/ui/grid/grid_group_box.h"
#include "platform/ui/grid/grid_table_view.h"

namespace platform::ui {
namespace {

// Typing waits this long for the next key before the rows are filtered.
constexpr int kFilterDelayMs = 150;

}  // namespace

DataGrid::DataGrid(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DataGrid"));
    setStyleSheet(gridStyleSheet());
    setFont(GridTableViewStyleSheetDevExpress.viewBackground.font(font()));
    model_ = new QueryTableModel(this);
    proxy_ = new GridFilterProxy(this);
    proxy_->setSourceModel(model_);
    groups_ = new GridGroupModel(proxy_, model_, this);
    groupBox_ = new GridGroupByBox(this);
    view_ = new GridTableView(this);
    view_->setItemDelegate(new GridItemDelegate(model_, view_));
    footer_ = new GridFooter(view_, this);
    navigator_ = new GridNavigator(this);
    memos_ = new GridBoundMemos(model_, this);
    filterTimer_ = new QTimer(this);
    filterTimer_->setSingleShot(true);
    filterTimer_->setInterval(kFilterDelayMs);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(groupBox_);
    layout->addWidget(view_, 1);
    layout->addWidget(footer_);
    layout->addWidget(navigator_);

    auto* header = view_->gridHeader();

    connect(filterTimer_, &QTimer::timeout, this, &DataGrid::applyTypedFilters);
    connect(header, &GridHeader::filterEdited, this, [this] { filterTimer_->start(); });
    connect(header, &GridHeader::filterCommitted, this, [this] {
        filterTimer_->stop();
        applyTypedFilters();
    });
    connect(header, &QWidget::customContextMenuRequested, this, &DataGrid::showHeaderMenu);
    connect(navigator_, &GridNavigator::clicked, this, &DataGrid::navigate);
    connect(groupBox_, &GridGroupByBox::fieldDropped, this, [this](const QString& field) {
        auto fields = groupFields_;
        if (std::find(fields.begin(), fields.end(), field.toStdString()) == fields.end()) fields.push_back(field.toStdString());
        setGroupColumns(fields);
    });
    connect(groupBox_, &GridGroupByBox::removeRequested, this, [this](const QString& field) {
        auto fields = groupFields_;
        fields.erase(std::remove(fields.begin(), fields.end(), field.toStdString()), fields.end());
        setGroupColumns(fields);
    });
    connect(view_, &GridTableView::editingChanged, this, &DataGrid::updateNavigator);
    connect(view_, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (view_->model() != groups_ || groups_->sourceRowOf(index.row()) >= 0) return;
        const int group = groups_->entry(index.row()).index;
        ++quiet_;
        groups_->setExpanded(group, !groups_->isExpanded(group));
        --quiet_;
        view_->setCurrentIndex(groups_->index(groups_->rowOfGroupHeader(group), index.column()));
        currentChanged();
    });
    // First the caches over the rows shown, then the current row (connections run in order).
    connect(proxy_, &QAbstractItemModel::modelReset, this, &DataGrid::rowsChanged);
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, &DataGrid::rowsChanged);
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, &DataGrid::rowsChanged);
    connect(proxy_, &QAbstractItemModel::rowsRemoved, this, &DataGrid::rowsChanged);
    connect(proxy_, &QAbstractItemModel::dataChanged, this, &DataGrid::updateFooter);
    attachViewModel();
    header->setSortIndicator(-1, Qt::AscendingOrder);  // the query's own order until a click
    view_->setSortingEnabled(true);
}

DataGrid::~DataGrid() = default;

QTableView* DataGrid::view() const { return view_; }
QLabel* DataGrid::infoPanel() const { return navigator_->infoPanel(); }
QWidget* DataGrid::footer() const { return footer_; }
QWidget* DataGrid::groupByBox() const { return groupBox_; }

// ---- binding ----

void DataGrid::setQuery(platform::pg::Query* query, std::vector<GridColumn> columns) {
    ++quiet_;
    view_->cancelEdit();
    groupFields_.clear();
    proxy_->clearFilters();
    proxy_->setGroupColumns({});
    model_->bind(query, std::move(columns));
    --quiet_;
    bindColumns();
}

void DataGrid::setTable(const platform::memtable::MemTable* table, std::vector<GridColumn> columns) {
    ++quiet_;
    view_->cancelEdit();
    groupFields_.clear();
    proxy_->clearFilters();
    proxy_->setGroupColumns({});
    model_->bind(table, std::move(columns));
    --quiet_;
    setAllowDelete(false);
    bindColumns();
}

void DataGrid::bindColumns() {
    QStringList fields;
    for (const auto& c : model_->columns()) fields << QString::fromStdString(c.field);
    auto* header = view_->gridHeader();
    header->setFilterFields(fields);
    footer_->setColumns(fields);
    for (size_t c = 0; c < model_->columns().size(); ++c)
        if (model_->columns()[c].width > 0) view_->setColumnWidth(static_cast<int>(c), model_->columns()[c].width);
    {
        const QSignalBlocker block(header);
        header->setSortIndicator(-1, Qt::AscendingOrder);
    }
    proxy_->sort(-1);
    attachViewModel();
    groupBox_->setGroups({}, {});
    shownRow_ = -1;
    reload();
}

void DataGrid::reload() {
    // An editor still open belongs to rows that may be gone: what it holds is dropped. Typed memo
    // text is posted while its row is still the one it was typed for.
    view_->cancelEdit();
    memos_->post();
    ++quiet_;
    shownRow_ = -1;
    model_->reload();
    --quiet_;
    const auto* q = model_->query();
    const int wanted = q && q->isOpen() ? q->recNo() : -1;
    if (!(wanted >= 0 && setCurrentSourceRow(wanted))) setCurrentViewRow(0);
    currentChanged();
    header()->placeEditors();
    footer_->place();
}

GridHeader* DataGrid::header() const { return view_->gridHeader(); }

void DataGrid::attachViewModel() {
    QAbstractItemModel* wanted = groupFields_.empty() ? static_cast<QAbstractItemModel*>(proxy_) : groups_;
    ++quiet_;
    groups_->setActive(wanted == groups_);
    --quiet_;
    if (view_->model() != wanted) {
        auto* header = view_->gridHeader();
        const QByteArray state = header->saveState();  // widths, hidden columns, sort indicator
        QItemSelectionModel* old = view_->selectionModel();
        view_->setModel(wanted);
        delete old;
        {
            const QSignalBlocker block(header);
            header->restoreState(state);
        }
        header->placeEditors();
        footer_->place();
        connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &DataGrid::currentChanged);
        // The current row through changes of the rows shown: noted before, placed again after the
        // view has taken the change (so connected after the view's own connections).
        for (const auto& c : viewModelConnections_) disconnect(c);
        auto note = [this] {
            if (!quiet_) keepSourceRow_ = currentSourceRow();
        };
        auto place = [this] {
            applySpans();
            if (!quiet_) restoreCurrent();
        };
        viewModelConnections_ = {
            connect(wanted, &QAbstractItemModel::modelAboutToBeReset, this, note),
            connect(wanted, &QAbstractItemModel::layoutAboutToBeChanged, this, note),
            connect(wanted, &QAbstractItemModel::modelReset, this, place),
            connect(wanted, &QAbstractItemModel::layoutChanged, this, place),
        };
    }
    applySpans();
}

void DataGrid::applySpans() {
    view_->clearSpans();
    if (view_->model() != groups_) return;
    const auto columns = visibleColumns();
    if (columns.empty()) return;
    const int first = *std::min_element(columns.begin(), columns.end());
    const int width = groups_->columnCount() - first;
    for (int r = 0; r < groups_->rowCount(); ++r)
        if (groups_->entry(r).kind == GridLayoutEntry::Kind::GroupHeader && width > 1) view_->setSpan(r, first, 1, width);
}

void DataGrid::setAllowDelete(bool allow) {
    allowDelete_ = allow;
    updateNavigator();
}

void DataGrid::setNavigatorButtons(GridNavigator::Buttons buttons) { navigator_->setVisibleButtons(buttons); }

void DataGrid::setColumnVisible(const std::string& field, bool visible) {
    const int c = model_->columnOf(field);
    if (c < 0) return;
    view_->horizontalHeader()->setSectionHidden(c, !visible);
    header()->placeEditors();
    footer_->place();
    applySpans();
}

std::vector<int> DataGrid::visibleColumns() const {
    std::vector<int> columns;
    const auto* header = view_->horizontalHeader();
    for (int v = 0; v < header->count(); ++v) {
        const int logical = header->logicalIndex(v);
        if (!header->isSectionHidden(logical)) columns.push_back(logical);
    }
    return columns;
}

// ---- memo boxes and edits ----

void DataGrid::bindMemo(QPlainTextEdit* memo, const std::string& field, bool editable) {
    memos_->bind(memo, field, editable);
    memos_->show(currentSourceRow());
}

void DataGrid::bindMemo(QTextEdit* memo, const std::string& field, bool editable) {
    memos_->bind(memo, field, editable);
    memos_->show(currentSourceRow());
}

bool DataGrid::postPendingEdits() {
    view_->postEdit();
    return memos_->post();
}

// ---- rows ----

std::vector<int> DataGrid::rowsInViewOrder() const {
    const int n = proxy_->rowCount();
    std::vector<int> rows(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) rows[static_cast<size_t>(r)] = proxy_->mapToSource(proxy_->index(r, 0)).row();
    return rows;
}

int DataGrid::visibleRowCount() const { return proxy_->rowCount(); }

int DataGrid::sourceRowOfViewIndex(int row) const {
    if (view_->model() == groups_) return groups_->sourceRowOf(row);
    const QModelIndex i = proxy_->index(row, 0);
    return i.isValid() ? proxy_->mapToSource(i).row() : -1;
}

int DataGrid::viewIndexRowOf(int sourceRow) const {
    if (sourceRow < 0 || sourceRow >= model_->rowCount()) return -1;
    if (view_->model() == groups_) return groups_->rowOfSourceRow(sourceRow);
    return proxy_->mapFromSource(model_->index(sourceRow, 0)).row();
}

int DataGrid::currentSourceRow() const {
    const QModelIndex i = view_->currentIndex();
    return i.isValid() ? sourceRowOfViewIndex(i.row()) : -1;
}

int DataGrid::currentViewRow() const {
    const int source = currentSourceRow();
    return source < 0 ? -1 : proxy_->mapFromSource(model_->index(source, 0)).row();
}

void DataGrid::setCurrentViewRow(int viewRow) {
    if (viewRow < 0 || viewRow >= visibleRowCount()) return;
    setCurrentSourceRow(proxy_->mapToSource(proxy_->index(viewRow, 0)).row());
}

bool DataGrid::setCurrentSourceRow(int sourceRow) {
    if (view_->model() == groups_ && viewIndexRowOf(sourceRow) < 0) {
        ++quiet_;
        groups_->reveal(sourceRow);
        --quiet_;
    }
    const int row = viewIndexRowOf(sourceRow);
    if (row < 0) return false;
    const QModelIndex at = view_->currentIndex();
    int column = at.isValid() ? at.column() : -1;
    if (column < 0 || view_->isColumnHidden(column)) {
        const auto columns = visibleColumns();
        column = columns.empty() ? 0 : columns.front();
    }
    view_->setCurrentIndex(view_->model()->index(row, column));
    view_->scrollTo(view_->currentIndex());
    if (row == at.row() && view_->model() == at.model()) currentChanged();  // same row: no signal came
    return true;
}

platform::pg::Value DataGrid::currentValue(const std::string& field) const {
    const auto* values = currentRowValues();
    const auto* q = model_->query();
    if (!values || !q->hasColumn(field)) return {};
    return (*values)[static_cast<size_t>(q->columnIndex(field))];
}

const std::vector<platform::pg::Value>* DataGrid::currentRowValues() const {
    const auto* q = model_->query();
    const int row = currentSourceRow();
    if (!q || !q->isOpen() || row < 0 || row >= q->rowCount()) return nullptr;
    return &q->row(row);
}

void DataGrid::rowsChanged() {
    updateFooter();
    updateNavigator();
}

void DataGrid::restoreCurrent() {
    const int wanted = std::exchange(keepSourceRow_, -1);
    const int now = currentSourceRow();
    if (now >= 0 && (wanted < 0 || now == wanted)) return currentChanged();
    if (wanted >= 0 && setCurrentSourceRow(wanted)) return;
    if (visibleRowCount() > 0) setCurrentViewRow(0);
    else currentChanged();
}

void DataGrid::currentChanged() {
    if (quiet_) return;
    const int row = currentSourceRow();
    if (row != shownRow_) {
        memos_->post();  // what was typed belongs to the row that was current
        shownRow_ = row;
        auto* q = model_->query();
        if (row >= 0 && q && q->isOpen() && row < q->rowCount()) q->setRecNo(row);  // the query follows the grid
    }
    memos_->show(row);
    updateNavigator();
    emit currentRowChanged(row);
}

// ---- filter, sort, sums ----

void DataGrid::applyTypedFilters() {
    for (int c = 0; c < model_->columnCount(); ++c)
        if (auto* edit = header()->filterEdit(c)) proxy_->setColumnFilter(c, edit->text());
    proxy_->applyFilters();
}

void DataGrid::setColumnFilter(const std::string& field, const QString& text) {
    const int c = model_->columnOf(field);
    if (c < 0) return;
    if (auto* edit = header()->filterEdit(c)) edit->setText(text);
    filterTimer_->stop();
    applyTypedFilters();
}

QString DataGrid::columnFilter(const std::string& field) const {
    const int c = model_->columnOf(field);
    return c < 0 ? QString() : proxy_->columnFilter(c);
}

void DataGrid::clearFilters() {
    for (int c = 0; c < model_->columnCount(); ++c)
        if (auto* edit = header()->filterEdit(c)) edit->clear();
    filterTimer_->stop();
    applyTypedFilters();
}

void DataGrid::sortBy(const std::string& field, Qt::SortOrder order) {
    view_->sortByColumn(field.empty() ? -1 : model_->columnOf(field), order);
}

void DataGrid::updateFooter() {
    sums_.assign(model_->columns().size(), 0);
    const auto& columns = model_->columns();
    if (std::none_of(columns.begin(), columns.end(), [](const GridColumn& c) { return c.footerSum; })) return;
    const std::vector<int> rows = rowsInViewOrder();
    for (size_t c = 0; c < model_->columns().size(); ++c) {
        if (!model_->columns()[c].footerSum) continue;
        long double sum = 0;
        for (int r : rows) sum += model_->sumValue(r, static_cast<int>(c));
        sums_[c] = static_cast<double>(sum);
        footer_->setText(static_cast<int>(c), money(sums_[c]));
    }
}

double DataGrid::footerSum(const std::string& field) const {
    const int c = model_->columnOf(field);
    return c < 0 || static_cast<size_t>(c) >= sums_.size() ? 0 : sums_[static_cast<size_t>(c)];
}

// ---- grouping ----

void DataGrid::setGroupColumns(std::vector<std::string> fields) {
    std::vector<int> columns;
    std::vector<std::string> kept;
    QStringList names, captions;
    for (const auto& f : fields) {
        const int c = model_->columnOf(f);
        if (c < 0 || std::find(columns.begin(), columns.end(), c) != columns.end()) continue;
        columns.push_back(c);
        kept.push_back(f);
        names << QString::fromStdString(f);
        captions << model_->columns()[static_cast<size_t>(c)].caption;
    }
    const int keep = currentSourceRow();
    view_->cancelEdit();
    ++quiet_;
    groupFields_ = std::move(kept);
    proxy_->setGroupColumns(std::move(columns));
    attachViewModel();
    --quiet_;
    groupBox_->setGroups(names, captions);
    if (!(keep >= 0 && setCurrentSourceRow(keep))) setCurrentViewRow(0);
    currentChanged();
}

void DataGrid::setGroupsExpanded(bool expanded) {
    if (view_->model() != groups_) return;
    const int keep = currentSourceRow();
    ++quiet_;
    groups_->setAllExpanded(expanded);
    --quiet_;
    if (keep >= 0 && expanded) setCurrentSourceRow(keep);
    else if (groups_->rowCount() > 0) view_->setCurrentIndex(groups_->index(0, std::max(0, view_->currentIndex().column())));
    currentChanged();
}

QMenu* DataGrid::createHeaderMenu(int column) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("GridHeaderMenu"));
    if (column >= 0 && column < model_->columnCount()) {
        const std::string field = model_->columns()[static_cast<size_t>(column)].field;
        menu->addAction(tr("Sorteaza crescator"), this, [this, field] { sortBy(field, Qt::AscendingOrder); });
        menu->addAction(tr("Sorteaza descrescator"), this, [this, field] { sortBy(field, Qt::DescendingOrder); });
        menu->addAction(tr("Fara sortare"), this, [this] { sortBy({}, Qt::AscendingOrder); });
        menu->addSeparator();
        if (std::find(groupFields_.begin(), groupFields_.end(), field) == groupFields_.end()) {
            menu->addAction(tr("Grupeaza dupa aceasta coloana"), this, [this, field] {
                auto fields = groupFields_;
                fields.push_back(field);
                setGroupColumns(fields);
            });
        } else {
            menu->addAction(tr("Elimina din grupare"), this, [this, field] {
                auto fields = groupFields_;
                fields.erase(std::remove(fields.begin(), fields.end(), field), fields.end());
                setGroupColumns(fields);
            });
        }
    }
    if (!groupFields_.empty()) {
        menu->addAction(tr("Fara grupare"), this, [this] { setGroupColumns({}); });
        menu->addAction(tr("Extinde toate grupurile"), this, [this] { setGroupsExpanded(true); });
        menu->addAction(tr("Restrange toate grupurile"), this, [this] { setGroupsExpanded(false); });
    }
    menu->addSeparator();
    menu->addAction(tr("Sterge filtrele"), this, [this] { clearFilters(); });
    return menu;
}

void DataGrid::showHeaderMenu(const QPoint& at) {
    QMenu* menu = createHeaderMenu(header()->logicalIndexAt(at));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(header()->mapToGlobal(at));
}

// ---- navigator ----

void DataGrid::updateNavigator() {
    const int position = currentViewRow() + 1;
    bool canEdit = false;
    const QModelIndex at = view_->currentIndex();
    if (at.isValid())
        for (int c : visibleColumns()) canEdit |= (view_->model()->index(at.row(), c).flags() & Qt::ItemIsEditable) != 0;
    navigator_->setState(position, visibleRowCount(), view_->isEditing(), canEdit,
                         allowDelete_ && model_->query() != nullptr);
    if (position == 0 && visibleRowCount() > 0 && at.isValid())  // a group row
        navigator_->infoPanel()->setText(GridNavigator::infoText(0, visibleRowCount()));
}

void DataGrid::navigate(GridNavigator::Button button) {
    const int count = visibleRowCount();
    const int at = currentViewRow();
    switch (button) {
        case GridNavigator::First: setCurrentViewRow(0); break;
        case GridNavigator::Prior: setCurrentViewRow(at < 0 ? 0 : std::max(0, at - 1)); break;
        case GridNavigator::Next: setCurrentViewRow(std::min(count - 1, at + 1)); break;
        case GridNavigator::Last: setCurrentViewRow(count - 1); break;
        case GridNavigator::Refresh: refresh(); break;
        case GridNavigator::Delete: deleteCurrent(); break;
        case GridNavigator::Edit: editCurrent(); break;
        case GridNavigator::Post: postPendingEdits(); break;
        case GridNavigator::Cancel:
            view_->cancelEdit();
            memos_->revert();
            break;
        default: break;
    }
    updateNavigator();
}

void DataGrid::refresh() {
    runGuarded(this, [this] {
        view_->postEdit();
        if (!memos_->post()) return;
        auto* q = model_->query();
        if (onRefresh) onRefresh();
        else if (q && q->isOpen()) q->refresh();
        reload();
    });
}

void DataGrid::deleteCurrent() {
    const int row = currentSourceRow();
    if (row < 0 || !allowDelete_ || !model_->query()) return;
    if (dialogs().ask(this, tr("Stergeti inregistrarea?"), {Answer::Yes, Answer::No}) != Answer::Yes) return;
    view_->cancelEdit();
    memos_->revert();  // text typed for a row that goes with it
    const int position = currentViewRow();
    ++quiet_;
    const bool deleted = runGuarded(this, [&] { model_->removeSourceRow(row); });
    --quiet_;
    if (deleted) shownRow_ = -1;
    if (visibleRowCount() > 0) setCurrentViewRow(std::clamp(position, 0, visibleRowCount() - 1));
    currentChanged();
}

void DataGrid::editCurrent() {
    QModelIndex at = view_->currentIndex();
    if (!at.isValid()) return;
    if (!(at.flags() & Qt::ItemIsEditable))
        for (int c : visibleColumns())
            if (view_->model()->index(at.row(), c).flags() & Qt::ItemIsEditable) {
                at = view_->model()->index(at.row(), c);
                break;
            }
    if (!(at.flags() & Qt::ItemIsEditable)) return;
    view_->setCurrentIndex(at);
    view_->edit(at);
}

}  // namespace platform::ui
