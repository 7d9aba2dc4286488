#include "platform/ui/grid/data_grid.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QMenu>
#include <QVBoxLayout>
#include <cmath>

#include "platform/ui/dialogs.h"

namespace platform::ui {
namespace {

using Format = GridColumn::Format;

QString money(double v) {
    // '#,##0.00'
    QLocale c(QLocale::C);
    c.setNumberOptions(QLocale::DefaultNumberOptions);
    return c.toString(v, 'f', 2);
}

}  // namespace

QString gridStyleSheet() {
    return QStringLiteral(
        "QTableView { background: #FFFBF0; alternate-background-color: #EAF3FB; color: black;"
        " selection-background-color: #316AC5; selection-color: white; font: 8pt 'MS Sans Serif'; }"
        "QTableView:!active { selection-background-color: #A4C4EB; }"
        "QHeaderView::section { background: #316AC5; color: white; font: bold 8pt 'MS Sans Serif'; }"
        "QLineEdit#GridFilter { background: #FFFFE1; color: black; }"
        "QLabel#GridFooter { background: #FFFFE1; color: navy; font: bold 8pt 'MS Sans Serif'; }");
}

// ---- model ----

QueryTableModel::QueryTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void QueryTableModel::bind(platform::pg::Query* query, std::vector<GridColumn> columns) {
    query_ = query;
    columns_ = std::move(columns);
    for (auto& c : columns_)
        if (c.caption.isEmpty()) c.caption = QString::fromStdString(c.field);
    reload();
}

QString QueryTableModel::display(const platform::pg::Value& v, Format format) {
    if (v.isNull()) return {};
    switch (format) {
        case Format::Number: return money(v.asDouble());
        case Format::Date: {
            const auto d = v.asDate();
            return d ? QString::asprintf("%02u.%02u.%04d", static_cast<unsigned>(d->day()),
                                         static_cast<unsigned>(d->month()), static_cast<int>(d->year()))
                     : QString();
        }
        case Format::DateTime: {
            const auto t = v.asTimestamp();
            if (!t) return {};
            const std::string s = platform::pg::formatTimestamp(*t);  // yyyy-mm-dd hh:mm:ss.ffffff
            return QString::fromStdString(s.substr(8, 2) + "." + s.substr(5, 2) + "." + s.substr(0, 4) + " " +
                                          s.substr(11, 8));
        }
        case Format::Text: break;
    }
    return QString::fromStdString(v.asString());
}

void QueryTableModel::reload() {
    beginResetModel();
    queryColumn_.clear();
    sortKeys_.clear();
    text_.clear();
    lower_.clear();
    if (query_ && query_->isOpen()) {
        for (const auto& c : columns_) queryColumn_.push_back(query_->columnIndex(c.field));
        const int n = query_->rowCount();
        text_.resize(static_cast<size_t>(n));
        lower_.resize(static_cast<size_t>(n));
        for (int r = 0; r < n; ++r) {
            const auto& row = query_->row(r);
            auto& t = text_[static_cast<size_t>(r)];
            auto& l = lower_[static_cast<size_t>(r)];
            t.reserve(columns_.size());
            l.reserve(columns_.size());
            for (size_t c = 0; c < columns_.size(); ++c) {
                const int qc = queryColumn_[c];
                t.push_back(qc < 0 ? QString() : display(row[static_cast<size_t>(qc)], columns_[c].format));
                l.push_back(t.back().toLower());
            }
        }
    }
    endResetModel();
}

int QueryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(text_.size());
}
int QueryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

const QString& QueryTableModel::lowerText(int row, int column) const {
    return lower_[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

QVariant QueryTableModel::typedValue(int row, int column) const {
    const int qc = queryColumn_[static_cast<size_t>(column)];
    if (qc < 0) return {};
    const auto& v = query_->row(row)[static_cast<size_t>(qc)];
    if (v.isNull()) return {};
    const auto& col = columns_[static_cast<size_t>(column)];
    using Kind = platform::pg::FieldKind;
    const Kind kind = query_->columns()[static_cast<size_t>(qc)].kind;
    if (kind == Kind::Date) {
        const auto d = *v.asDate();
        return QDate(static_cast<int>(d.year()), static_cast<int>(static_cast<unsigned>(d.month())),
                     static_cast<int>(static_cast<unsigned>(d.day())));
    }
    if (kind == Kind::Timestamp) {
        const std::string s = platform::pg::formatTimestamp(*v.asTimestamp());
        return QDateTime::fromString(QString::fromStdString(s.substr(0, 19)), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    if (kind == Kind::Numeric || kind == Kind::Integer || kind == Kind::BigInt || col.format == Format::Number)
        return v.asDouble();
    return QString::fromStdString(v.asString());
}

const std::vector<QueryTableModel::SortKey>& QueryTableModel::sortKeys(int column) const {
    if (sortKeys_.size() != columns_.size()) sortKeys_.assign(columns_.size(), {});
    auto& keys = sortKeys_[static_cast<size_t>(column)];
    if (keys.size() == text_.size()) return keys;
    keys.assign(text_.size(), {});
    const int qc = queryColumn_[static_cast<size_t>(column)];
    if (qc < 0) return keys;
    using Kind = platform::pg::FieldKind;
    const Kind kind = query_->columns()[static_cast<size_t>(qc)].kind;
    for (size_t r = 0; r < text_.size(); ++r) {
        const auto& v = query_->row(static_cast<int>(r))[static_cast<size_t>(qc)];
        auto& k = keys[r];
        if (v.isNull()) continue;
        k.null = false;
        switch (kind) {
            case Kind::Date:
                k.number = static_cast<double>(std::chrono::sys_days{*v.asDate()}.time_since_epoch().count());
                break;
            case Kind::Timestamp:
                k.number = static_cast<double>(v.asTimestamp()->time_since_epoch().count());
                break;
            case Kind::Numeric:
            case Kind::Integer:
            case Kind::BigInt: k.number = v.asDouble(); break;
            default: k.text = text_[r][static_cast<size_t>(column)];
        }
    }
    return keys;
}

QVariant QueryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return text_[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())];
    if (role == Qt::UserRole) return typedValue(index.row(), index.column());
    if (role == Qt::TextAlignmentRole && columns_[static_cast<size_t>(index.column())].format == Format::Number)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant QueryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) return columns_[static_cast<size_t>(section)].caption;
    return {};
}

Qt::ItemFlags QueryTableModel::flags(const QModelIndex& index) const {
    auto f = QAbstractTableModel::flags(index);
    if (index.isValid() && columns_[static_cast<size_t>(index.column())].writable) f |= Qt::ItemIsEditable;
    return f;
}

bool QueryTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !columns_[static_cast<size_t>(index.column())].writable)
        return false;
    // One-line memo editors: a line break typed into the cell never reaches the row.
    QString text = value.toString();
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const auto& col = columns_[static_cast<size_t>(index.column())];
    const bool ok = runGuarded(nullptr, [&] {
        query_->updateRow(index.row(), {{col.field, text.isEmpty() ? platform::pg::Value()
                                                                   : platform::pg::Value(text.toStdString())}});
    });
    if (!ok) return false;
    auto& cell = text_[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())];
    cell = text;
    lower_[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())] = text.toLower();
    emit dataChanged(index, index);
    return true;
}

bool QueryTableModel::removeSourceRow(int row) {
    const bool ok = runGuarded(nullptr, [&] { query_->deleteRow(row); });
    // The query has dropped the row already: the model follows it whole, so no view ever asks
    // for a row the query no longer has.
    if (ok) reload();
    return ok;
}

// ---- proxy ----

void GridFilterProxy::setColumnFilter(int column, const QString& text) {
    if (filters_.size() <= static_cast<size_t>(column)) filters_.resize(static_cast<size_t>(column) + 1);
    filters_[static_cast<size_t>(column)] = text.toLower();
    invalidateRowsFilter();
}

QString GridFilterProxy::columnFilter(int column) const {
    return static_cast<size_t>(column) < filters_.size() ? filters_[static_cast<size_t>(column)] : QString();
}

void GridFilterProxy::clearFilters() {
    filters_.clear();
    invalidateRowsFilter();
}

bool GridFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    const auto* m = static_cast<const QueryTableModel*>(sourceModel());
    for (size_t c = 0; c < filters_.size(); ++c)
        if (!filters_[c].isEmpty() && !m->lowerText(sourceRow, static_cast<int>(c)).contains(filters_[c]))
            return false;
    return true;
}

bool GridFilterProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const auto& keys = static_cast<const QueryTableModel*>(sourceModel())->sortKeys(left.column());
    const auto& a = keys[static_cast<size_t>(left.row())];
    const auto& b = keys[static_cast<size_t>(right.row())];
    if (a.null || b.null) return a.null && !b.null;
    if (!a.text.isNull() || !b.text.isNull()) return QString::localeAwareCompare(a.text, b.text) < 0;
    return a.number < b.number;
}

// ---- widget ----

DataGrid::DataGrid(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DataGrid"));
    model_ = new QueryTableModel(this);
    proxy_ = new GridFilterProxy(this);
    proxy_->setSourceModel(model_);
    view_ = new QTableView(this);
    view_->setObjectName(QStringLiteral("GridView"));
    view_->setModel(proxy_);
    // The query's own order until the operator clicks a header.
    view_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view_->setSortingEnabled(true);
    view_->setAlternatingRowColors(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->verticalHeader()->setVisible(true);  // the row indicator
    view_->verticalHeader()->setDefaultSectionSize(20);
    view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    view_->setStyleSheet(gridStyleSheet());
    view_->installEventFilter(this);

    filterRow_ = new QWidget(this);
    filterRow_->setObjectName(QStringLiteral("GridFilterRow"));
    filterTimer_ = new QTimer(this);
    filterTimer_->setSingleShot(true);
    filterTimer_->setInterval(120);  // typing fast filters once
    connect(filterTimer_, &QTimer::timeout, this, [this] {
        for (size_t c = 0; c < filterEdits_.size(); ++c) proxy_->setColumnFilter(static_cast<int>(c), filterEdits_[c]->text());
        updateFooterAndInfo();
        if (!groupFields_.empty()) rebuildGroups();
    });

    footer_ = new QLabel(this);
    footer_->setObjectName(QStringLiteral("GridFooter"));
    footer_->setStyleSheet(gridStyleSheet());

    auto* navigator = new QHBoxLayout;
    auto button = [&](const char* name, const QString& text, const QString& tip, auto slot) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        b->setMaximumWidth(34);
        connect(b, &QPushButton::clicked, this, slot);
        navigator->addWidget(b);
    };
    button("NavFirst", QStringLiteral("|<"), tr("Prima inregistrare"), [this] { setCurrentViewRow(0); });
    button("NavPrior", QStringLiteral("<"), tr("Inregistrarea anterioara"),
           [this] { setCurrentViewRow(std::max(0, view_->currentIndex().row() - 1)); });
    button("NavNext", QStringLiteral(">"), tr("Inregistrarea urmatoare"),
           [this] { setCurrentViewRow(std::min(visibleRowCount() - 1, view_->currentIndex().row() + 1)); });
    button("NavLast", QStringLiteral(">|"), tr("Ultima inregistrare"), [this] { setCurrentViewRow(visibleRowCount() - 1); });
    button("NavRefresh", QStringLiteral("\u21bb"), tr("Reimprospatare"), [this] {
        runGuarded(this, [this] {
            if (onRefresh) onRefresh();
            else if (model_->query() && model_->query()->isOpen()) model_->query()->refresh();
            reload();
        });
    });
    button("NavDelete", QStringLiteral("-"), tr("Sterge"), [this] { deleteCurrent(); });
    button("NavEdit", QStringLiteral("\u270e"), tr("Modifica"), [this] {
        const QModelIndex i = view_->currentIndex();
        if (i.isValid()) view_->edit(i);
    });
    button("NavPost", QStringLiteral("\u2713"), tr("Salveaza"), [this] {
        view_->setFocus();  // commits an open editor
    });
    button("NavCancel", QStringLiteral("\u2717"), tr("Renunta"), [this] {
        view_->closePersistentEditor(view_->currentIndex());
        view_->reset();
    });
    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("GridInfo"));
    navigator->addWidget(info_);
    navigator->addStretch();

    groupBox_ = new QLabel(this);
    groupBox_->setObjectName(QStringLiteral("GridGroupBox"));
    groupBox_->setStyleSheet(QStringLiteral("QLabel { background: #FED547; color: black; padding: 2px; }"));
    groupView_ = new QTreeWidget(this);
    groupView_->setObjectName(QStringLiteral("GridGroupView"));
    groupView_->setStyleSheet(QStringLiteral("QTreeWidget { background: #FFFBF0; }"));
    groupView_->hide();
    view_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_->horizontalHeader(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const int column = view_->horizontalHeader()->logicalIndexAt(at);
        QMenu menu(this);
        if (column >= 0) {
            const std::string field = model_->columns()[static_cast<size_t>(column)].field;
            menu.addAction(tr("Grupeaza dupa aceasta coloana"), this, [this, field] {
                auto fields = groupFields_;
                if (std::find(fields.begin(), fields.end(), field) == fields.end()) fields.push_back(field);
                setGroupColumns(fields);
            });
        }
        menu.addAction(tr("Fara grupare"), this, [this] { setGroupColumns({}); });
        menu.exec(view_->horizontalHeader()->mapToGlobal(at));
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(groupBox_);
    layout->addWidget(filterRow_);
    layout->addWidget(view_, 1);
    layout->addWidget(groupView_, 1);
    layout->addWidget(footer_);
    layout->addLayout(navigator);

    connect(view_->horizontalHeader(), &QHeaderView::sectionResized, this, [this] { layoutFilterRow(); });
    connect(view_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { layoutFilterRow(); });
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, [this] { updateFooterAndInfo(); });
}

void DataGrid::setQuery(platform::pg::Query* query, std::vector<GridColumn> columns) {
    model_->bind(query, std::move(columns));
    buildFilterRow();
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        syncMemos();
        updateFooterAndInfo();
        emit currentRowChanged(currentSourceRow());
    });
    updateFooterAndInfo();
    rebuildGroups();
}

void DataGrid::buildFilterRow() {
    for (auto* e : filterEdits_) e->deleteLater();
    filterEdits_.clear();
    for (size_t c = 0; c < model_->columns().size(); ++c) {
        auto* edit = new QLineEdit(filterRow_);
        edit->setObjectName(QStringLiteral("GridFilter"));
        edit->setProperty("field", QString::fromStdString(model_->columns()[c].field));
        edit->setStyleSheet(gridStyleSheet());
        connect(edit, &QLineEdit::textChanged, filterTimer_, qOverload<>(&QTimer::start));
        filterEdits_.push_back(edit);
    }
    filterRow_->setMinimumHeight(22);
    layoutFilterRow();
}

void DataGrid::layoutFilterRow() {
    const int offset = view_->verticalHeader()->width() + view_->frameWidth();
    for (size_t c = 0; c < filterEdits_.size(); ++c) {
        auto* header = view_->horizontalHeader();
        const int x = header->sectionViewportPosition(static_cast<int>(c)) + offset;
        filterEdits_[c]->setGeometry(x, 0, header->sectionSize(static_cast<int>(c)), 22);
        filterEdits_[c]->show();
    }
}

void DataGrid::reload() {
    const int keep = view_->currentIndex().row();
    model_->reload();
    layoutFilterRow();
    if (visibleRowCount() > 0) setCurrentViewRow(std::clamp(keep, 0, visibleRowCount() - 1));
    updateFooterAndInfo();
    syncMemos();
    if (!groupFields_.empty()) rebuildGroups();
}

void DataGrid::bindMemo(QPlainTextEdit* memo, const std::string& field, bool editable) {
    memos_.push_back({memo, field, editable});
    memo->setReadOnly(!editable);
    if (editable) {
        connect(memo, &QPlainTextEdit::textChanged, this, [this, memo, field] {
            if (!memo->hasFocus()) return;
            const int row = currentSourceRow();
            if (row < 0 || !model_->query()) return;
            const QString text = memo->toPlainText();
            runGuarded(this, [&] {
                model_->query()->updateRow(row, {{field, text.isEmpty() ? platform::pg::Value()
                                                                        : platform::pg::Value(text.toStdString())}});
            });
        });
    }
    syncMemos();
}

void DataGrid::syncMemos() {
    const int row = currentSourceRow();
    for (auto& m : memos_) {
        if (m.memo->hasFocus()) continue;
        QString text;
        auto* q = model_->query();
        if (row >= 0 && q && q->isOpen() && q->hasColumn(m.field))
            text = QString::fromStdString(q->row(row)[static_cast<size_t>(q->columnIndex(m.field))].asString());
        const QSignalBlocker block(m.memo);
        m.memo->setPlainText(text);
    }
}

std::vector<int> DataGrid::rowsInViewOrder() const {
    if (!groupFields_.empty()) return groupedOrder();
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(proxy_->rowCount()));
    for (int r = 0; r < proxy_->rowCount(); ++r) rows.push_back(proxy_->mapToSource(proxy_->index(r, 0)).row());
    return rows;
}

int DataGrid::visibleRowCount() const { return proxy_->rowCount(); }

int DataGrid::currentSourceRow() const {
    const QModelIndex i = view_->currentIndex();
    return i.isValid() ? proxy_->mapToSource(i).row() : -1;
}

void DataGrid::setCurrentViewRow(int viewRow) {
    if (viewRow < 0 || viewRow >= visibleRowCount()) return;
    const int column = std::max(0, view_->currentIndex().column());
    view_->setCurrentIndex(proxy_->index(viewRow, column));
}

double DataGrid::footerSum(const std::string& field) const {
    const auto& cols = model_->columns();
    for (size_t c = 0; c < cols.size(); ++c) {
        if (cols[c].field != field) continue;
        const auto& keys = model_->sortKeys(static_cast<int>(c));
        double sum = 0;
        for (int r = 0; r < proxy_->rowCount(); ++r)
            sum += keys[static_cast<size_t>(proxy_->mapToSource(proxy_->index(r, 0)).row())].number;
        return sum;
    }
    return 0;
}

std::vector<int> DataGrid::groupedOrder() const {
    std::vector<int> plain;
    for (int r = 0; r < proxy_->rowCount(); ++r) plain.push_back(proxy_->mapToSource(proxy_->index(r, 0)).row());
    std::vector<int> groupColumns;
    for (const auto& f : groupFields_)
        for (size_t c = 0; c < model_->columns().size(); ++c)
            if (model_->columns()[c].field == f) groupColumns.push_back(static_cast<int>(c));
    // Stable: inside a group the rows keep the grid's order.
    std::stable_sort(plain.begin(), plain.end(), [&](int a, int b) {
        for (int c : groupColumns) {
            const auto& keys = model_->sortKeys(c);
            const auto& x = keys[static_cast<size_t>(a)];
            const auto& y = keys[static_cast<size_t>(b)];
            if (x.null != y.null) return x.null;
            if (x.text != y.text) return x.text < y.text;
            if (x.number != y.number) return x.number < y.number;
        }
        return false;
    });
    return plain;
}

void DataGrid::setGroupColumns(std::vector<std::string> fields) {
    groupFields_ = std::move(fields);
    rebuildGroups();
}

void DataGrid::rebuildGroups() {
    const bool grouped = !groupFields_.empty();
    QStringList captions;
    for (const auto& f : groupFields_)
        for (const auto& c : model_->columns())
            if (c.field == f) captions << c.caption;
    groupBox_->setText(grouped ? tr("Grupat dupa: ") + captions.join(QStringLiteral(" > "))
                               : tr("Grupare: meniul coloanei (clic dreapta pe antet)"));
    view_->setVisible(!grouped);
    filterRow_->setVisible(!grouped);
    groupView_->setVisible(grouped);
    groupView_->clear();
    if (!grouped) return;
    const auto& cols = model_->columns();
    QStringList headers;
    for (const auto& c : cols) headers << c.caption;
    groupView_->setColumnCount(static_cast<int>(cols.size()));
    groupView_->setHeaderLabels(headers);
    std::vector<int> groupColumns;
    for (const auto& f : groupFields_)
        for (size_t c = 0; c < cols.size(); ++c)
            if (cols[c].field == f) groupColumns.push_back(static_cast<int>(c));
    std::vector<QTreeWidgetItem*> open(groupColumns.size(), nullptr);
    std::vector<QString> openValue(groupColumns.size());
    std::vector<std::vector<double>> sums(groupColumns.size(), std::vector<double>(cols.size(), 0));
    std::vector<int> counts(groupColumns.size(), 0);
    auto close = [&](size_t level) {
        // closes this level and the ones below it, writing their counts and sums
        for (size_t l = groupColumns.size(); l-- > level;) {
            if (!open[l]) continue;
            open[l]->setText(0, open[l]->text(0) + QStringLiteral(" (%1)").arg(counts[l]));
            for (size_t c = 0; c < cols.size(); ++c)
                if (cols[c].footerSum) open[l]->setText(static_cast<int>(c), money(sums[l][c]));
            open[l] = nullptr;
            counts[l] = 0;
            std::fill(sums[l].begin(), sums[l].end(), 0.0);
        }
    };
    for (int row : groupedOrder()) {
        for (size_t l = 0; l < groupColumns.size(); ++l) {
            const QString value = model_->data(model_->index(row, groupColumns[l]), Qt::DisplayRole).toString();
            if (open[l] && openValue[l] == value) continue;
            close(l);
            auto* item = l == 0 ? new QTreeWidgetItem(groupView_) : new QTreeWidgetItem(open[l - 1]);
            item->setText(0, cols[static_cast<size_t>(groupColumns[l])].caption + QStringLiteral(": ") + value);
            item->setBackground(0, QColor(0xF1, 0xEF, 0xE2));
            item->setExpanded(true);
            open[l] = item;
            openValue[l] = value;
        }
        auto* leaf = new QTreeWidgetItem(open.back());
        for (size_t c = 0; c < cols.size(); ++c) {
            leaf->setText(static_cast<int>(c), model_->data(model_->index(row, static_cast<int>(c)), Qt::DisplayRole).toString());
            if (cols[c].footerSum)
                for (size_t l = 0; l < groupColumns.size(); ++l) sums[l][c] += model_->sortKeys(static_cast<int>(c))[static_cast<size_t>(row)].number;
        }
        for (size_t l = 0; l < groupColumns.size(); ++l) ++counts[l];
    }
    close(0);
    groupView_->expandAll();
}

void DataGrid::setColumnFilter(const std::string& field, const QString& text) {
    for (size_t c = 0; c < model_->columns().size(); ++c)
        if (model_->columns()[c].field == field) {
            filterEdits_[c]->setText(text);
            filterTimer_->stop();
            proxy_->setColumnFilter(static_cast<int>(c), text);
        }
    updateFooterAndInfo();
    if (!groupFields_.empty()) rebuildGroups();
}

void DataGrid::sortBy(const std::string& field, Qt::SortOrder order) {
    for (size_t c = 0; c < model_->columns().size(); ++c)
        if (model_->columns()[c].field == field) view_->sortByColumn(static_cast<int>(c), order);
}

void DataGrid::updateFooterAndInfo() {
    QStringList sums;
    for (const auto& c : model_->columns())
        if (c.footerSum) sums << c.caption + QStringLiteral(": ") + money(footerSum(c.field));
    footer_->setText(sums.join(QStringLiteral("   ")));
    footer_->setVisible(!sums.isEmpty());
    const int current = view_->currentIndex().isValid() ? view_->currentIndex().row() + 1 : 0;
    info_->setText(tr("Inregistrarea %1 din %2").arg(current).arg(visibleRowCount()));
}

void DataGrid::deleteCurrent() {
    const int row = currentSourceRow();
    if (row < 0) return;
    if (dialogs().ask(this, tr("Stergeti inregistrarea?"), {Answer::Yes, Answer::No}) != Answer::Yes) return;
    const int viewRow = view_->currentIndex().row();
    if (model_->removeSourceRow(row) && visibleRowCount() > 0)
        setCurrentViewRow(std::min(viewRow, visibleRowCount() - 1));
    updateFooterAndInfo();
}

bool DataGrid::eventFilter(QObject* watched, QEvent* event) {
    // Enter moves to the next cell, as the operators are used to.
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            const QModelIndex i = view_->currentIndex();
            if (i.isValid()) {
                int row = i.row(), column = i.column() + 1;
                if (column >= proxy_->columnCount()) {
                    column = 0;
                    row = std::min(row + 1, proxy_->rowCount() - 1);
                }
                view_->setCurrentIndex(proxy_->index(row, column));
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace platform::ui
