#include "platform/ui/grid/grid_table_view.h"

#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

#include "platform/ui/grid/grid_style.h"

namespace platform::ui {

// ---- column headers and the filter row ----

GridHeader::GridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setObjectName(QStringLiteral("GridHeader"));
    setSectionsClickable(true);
    setSortIndicatorShown(true);
    setSortIndicatorClearable(true);  // a third click returns to the query's order
    setHighlightSections(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QHeaderView::sectionResized, this, &GridHeader::placeEditors);
    connect(this, &QHeaderView::sectionMoved, this, &GridHeader::placeEditors);
    connect(this, &QHeaderView::sectionCountChanged, this, &GridHeader::placeEditors);
    connect(this, &QHeaderView::geometriesChanged, this, &GridHeader::placeEditors);
}

void GridHeader::setFilterFields(const QStringList& fields) {
    for (auto* e : editors_) delete e;
    editors_.clear();
    fields_ = fields;
    for (int i = 0; i < fields.size(); ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("GridFilterEdit"));
        edit->setProperty("field", fields[i]);
        edit->setClearButtonEnabled(true);
        edit->setToolTip(tr("Filtru (contine, fara deosebire intre litere mari si mici)"));
        connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) { emit filterEdited(i, text); });
        connect(edit, &QLineEdit::returnPressed, this, [this, i] { emit filterCommitted(i); });
        editors_.push_back(edit);
    }
    updateGeometries();
}

QLineEdit* GridHeader::filterEdit(int logicalIndex) const {
    return logicalIndex >= 0 && static_cast<size_t>(logicalIndex) < editors_.size()
               ? editors_[static_cast<size_t>(logicalIndex)]
               : nullptr;
}

int GridHeader::filterHeight() const {
    return editors_.empty() ? 0 : editors_.front()->sizeHint().height();
}

QSize GridHeader::sizeHint() const {
    QSize s = QHeaderView::sizeHint();
    s.setHeight(s.height() + filterHeight());
    return s;
}

void GridHeader::updateGeometries() {
    // The sections keep the top of the header; the filter boxes live in the margin below them.
    setViewportMargins(0, 0, 0, filterHeight());
    QHeaderView::updateGeometries();
    placeEditors();
}

void GridHeader::placeEditors() {
    const int h = filterHeight();
    for (size_t i = 0; i < editors_.size(); ++i) {
        const int logical = static_cast<int>(i);
        auto* e = editors_[i];
        if (logical >= count() || isSectionHidden(logical)) {
            e->hide();
            continue;
        }
        e->setGeometry(sectionViewportPosition(logical), height() - h, sectionSize(logical), h);
        e->show();
    }
}

void GridHeader::mousePressEvent(QMouseEvent* event) {
    pressedSection_ = event->button() == Qt::LeftButton ? logicalIndexAt(event->position().toPoint()) : -1;
    pressedAt_ = event->position().toPoint();
    QHeaderView::mousePressEvent(event);
}

void GridHeader::mouseMoveEvent(QMouseEvent* event) {
    // A header pulled up out of the header row goes to the group-by box above it.
    const QPoint at = event->position().toPoint();
    if ((event->buttons() & Qt::LeftButton) && pressedSection_ >= 0 && at.y() < 0 &&
        (at - pressedAt_).manhattanLength() >= QApplication::startDragDistance() &&
        pressedSection_ < fields_.size()) {
        const int section = pressedSection_;
        pressedSection_ = -1;
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setData(QString::fromLatin1(kGridColumnMimeType), fields_[section].toUtf8());
        drag->setMimeData(mime);
        QPixmap face(sectionSize(section), height() - filterHeight());
        face.fill(GridTableViewStyleSheetDevExpress.columnHeaders.background);
        QPainter p(&face);
        p.setPen(GridTableViewStyleSheetDevExpress.columnHeaders.text);
        p.drawText(face.rect(), Qt::AlignCenter, model() ? model()->headerData(section, Qt::Horizontal).toString() : QString());
        p.end();
        drag->setPixmap(face);
        drag->exec(Qt::CopyAction);
        return;
    }
    QHeaderView::mouseMoveEvent(event);
}

// ---- row indicator ----

GridRowIndicator::GridRowIndicator(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    setObjectName(QStringLiteral("GridRowIndicator"));
    setSectionResizeMode(QHeaderView::Fixed);
    setDefaultSectionSize(20);
    setSectionsClickable(false);
    setHighlightSections(false);
}

QSize GridRowIndicator::sizeHint() const { return {14, QHeaderView::sizeHint().height()}; }

void GridRowIndicator::setCurrentRow(int row) {
    if (row == current_) return;
    current_ = row;
    viewport()->update();
}

void GridRowIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    const auto& style = GridTableViewStyleSheetDevExpress;
    painter->save();
    painter->fillRect(rect, style.rowIndicator.background);
    painter->setPen(style.rowIndicator.background.darker(130));
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->drawLine(rect.topRight(), rect.bottomRight());
    if (logicalIndex == current_) {
        const QPointF c = QRectF(rect).center();
        QPainterPath mark;
        mark.moveTo(c.x() - 2.5, c.y() - 4);
        mark.lineTo(c.x() + 2.5, c.y());
        mark.lineTo(c.x() - 2.5, c.y() + 4);
        mark.closeSubpath();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillPath(mark, Qt::black);
    }
    painter->restore();
}

// ---- table view ----

GridTableView::GridTableView(QWidget* parent) : QTableView(parent) {
    setObjectName(QStringLiteral("GridView"));
    header_ = new GridHeader(this);
    indicator_ = new GridRowIndicator(this);
    setHorizontalHeader(header_);
    setVerticalHeader(indicator_);
    // Keeps the filter boxes under their columns while the view scrolls sideways (after the
    // header has taken its new offset: this connection is made after the view's own).
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, header_, &GridHeader::placeEditors);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

bool GridTableView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    const bool wasEditing = isEditing();
    const bool started = QTableView::edit(index, trigger, event);
    if (!wasEditing && isEditing()) emit editingChanged(true);
    return started;
}

void GridTableView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    // Enter in an editor: the value is posted and the next cell becomes current, not edited.
    const bool next = hint == QAbstractItemDelegate::EditNextItem;
    QTableView::closeEditor(editor, next ? QAbstractItemDelegate::NoHint : hint);
    if (!isEditing()) emit editingChanged(false);
    if (next) moveToNextCell();
}

void GridTableView::postEdit() {
    if (QWidget* editor = indexWidget(currentIndex()); editor && isEditing()) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
    }
}

void GridTableView::cancelEdit() {
    if (QWidget* editor = indexWidget(currentIndex()); editor && isEditing())
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void GridTableView::moveToNextCell() {
    if (!model()) return;
    const QModelIndex at = currentIndex();
    const int columns = model()->columnCount();
    const int rows = model()->rowCount();
    if (rows == 0 || columns == 0) return;
    int row = at.isValid() ? at.row() : 0;
    int visual = at.isValid() ? header_->visualIndex(at.column()) : -1;
    // The next column shown, else the first one of the next row; the last cell stays put.
    for (int step = 0; step < columns * 2; ++step) {
        if (++visual >= columns) {
            if (row + 1 >= rows) return;
            ++row;
            visual = 0;
        }
        const int logical = header_->logicalIndex(visual);
        if (!header_->isSectionHidden(logical)) {
            setCurrentIndex(model()->index(row, logical));
            return;
        }
    }
}

void GridTableView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !isEditing()) {
        moveToNextCell();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void GridTableView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    indicator_->setCurrentRow(current.isValid() ? current.row() : -1);
}

// ---- footer ----

GridFooter::GridFooter(GridTableView* view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName(QStringLiteral("GridFooter"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(QFontMetrics(GridTableViewStyleSheetDevExpress.footer.font(font())).height() + 6);
    auto* header = view_->horizontalHeader();
    connect(header, &QHeaderView::sectionResized, this, &GridFooter::place);
    connect(header, &QHeaderView::sectionMoved, this, &GridFooter::place);
    connect(header, &QHeaderView::geometriesChanged, this, &GridFooter::place);
    connect(view_->horizontalScrollBar(), &QScrollBar::valueChanged, this, &GridFooter::place);
    view_->installEventFilter(this);
}

void GridFooter::setColumns(const QStringList& fields) {
    for (auto* c : cells_) delete c;
    cells_.clear();
    for (const auto& f : fields) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("GridFooterCell"));
        label->setProperty("field", f);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        cells_.push_back(label);
    }
    place();
}

void GridFooter::setText(int logicalIndex, const QString& text) {
    if (auto* c = cell(logicalIndex)) c->setText(text);
}

QLabel* GridFooter::cell(int logicalIndex) const {
    return logicalIndex >= 0 && static_cast<size_t>(logicalIndex) < cells_.size()
               ? cells_[static_cast<size_t>(logicalIndex)]
               : nullptr;
}

void GridFooter::place() {
    auto* header = view_->horizontalHeader();
    // Sections are placed relative to the view's viewport; the footer sits under the view.
    const int origin = view_->mapTo(parentWidget(), view_->viewport()->geometry().topLeft()).x() - x();
    const int right = origin + view_->viewport()->width();
    for (size_t i = 0; i < cells_.size(); ++i) {
        const int logical = static_cast<int>(i);
        auto* c = cells_[i];
        if (logical >= header->count() || header->isSectionHidden(logical)) {
            c->hide();
            continue;
        }
        const int start = origin + header->sectionViewportPosition(logical);
        const int left = std::max(start, origin);  // clipped to the rows' area when scrolled
        const int end = std::min(start + header->sectionSize(logical), right);
        c->setGeometry(left, 0, std::max(0, end - left), height());
        c->setVisible(end > left);
    }
}

bool GridFooter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::Show))
        place();
    return QWidget::eventFilter(watched, event);
}

}  // namespace platform::ui
