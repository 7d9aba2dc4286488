#pragma once
// How the grid paints and edits its cells: the even and odd row colours of the style sheet, a
// one-line memo editor for the columns that ask for one, and Enter that posts the value and moves
// on to the next cell instead of breaking the line.

#include <QPlainTextEdit>
#include <QStyledItemDelegate>

namespace platform::ui {

class QueryTableModel;

// A memo editor one line high: the text keeps its line breaks, Enter never adds one.
class OneLineMemoEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit OneLineMemoEditor(QWidget* parent = nullptr);
};

class GridItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    GridItemDelegate(const QueryTableModel* model, QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    bool eventFilter(QObject* editor, QEvent* event) override;

private:
    bool isMemo(const QModelIndex& index) const;

    const QueryTableModel* model_;
};

}  // namespace platform::ui
