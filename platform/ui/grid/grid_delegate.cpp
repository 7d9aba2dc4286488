#include "platform/ui/grid/grid_delegate.h"

#include <QKeyEvent>

#include "platform/ui/grid/grid_style.h"
#include "platform/ui/grid/query_table_model.h"

namespace platform::ui {

OneLineMemoEditor::OneLineMemoEditor(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("GridMemoEditor"));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    setFrameShape(QFrame::NoFrame);
    document()->setDocumentMargin(1);
}

GridItemDelegate::GridItemDelegate(const QueryTableModel* model, QObject* parent)
    : QStyledItemDelegate(parent), model_(model) {}

bool GridItemDelegate::isMemo(const QModelIndex& index) const {
    const auto& columns = model_->columns();
    return index.column() >= 0 && static_cast<size_t>(index.column()) < columns.size() &&
           columns[static_cast<size_t>(index.column())].memo;
}

QWidget* GridItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    if (isMemo(index)) return new OneLineMemoEditor(parent);
    return QStyledItemDelegate::createEditor(parent, option, index);
}

void GridItemDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* memo = qobject_cast<OneLineMemoEditor*>(editor)) {
        memo->setPlainText(index.data(Qt::EditRole).toString());
        memo->moveCursor(QTextCursor::End);
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void GridItemDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    if (auto* memo = qobject_cast<OneLineMemoEditor*>(editor)) {
        model->setData(index, memo->toPlainText(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void GridItemDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const {
    if (qobject_cast<OneLineMemoEditor*>(editor)) {
        editor->setGeometry(option.rect);
        return;
    }
    QStyledItemDelegate::updateEditorGeometry(editor, option, index);
}

void GridItemDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(Qt::BackgroundRole).isValid()) return;  // group rows bring their own
    const auto& style = GridTableViewStyleSheetDevExpress;
    option->backgroundBrush = (index.row() % 2 == 0 ? style.evenRows : style.oddRows).background;
}

bool GridItemDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* editor = qobject_cast<QWidget*>(object);
    if (editor && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            emit commitData(editor);
            emit closeEditor(editor, QAbstractItemDelegate::EditNextItem);
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

}  // namespace platform::ui
