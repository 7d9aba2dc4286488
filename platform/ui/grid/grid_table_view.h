#pragma once
// The table view of the grid and the parts drawn around it: the column headers with the filter
// row under them, the row indicator, and the footer with the column sums under the columns.

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <vector>

namespace platform::ui {

// MIME type of a column header dragged onto the group-by box; the data is the field name.
inline constexpr const char* kGridColumnMimeType = "application/x-tarvelo-grid-column";

class GridHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit GridHeader(QWidget* parent = nullptr);

    // One filter box per column; `fields` name them (objectName "GridFilterEdit", property "field").
    void setFilterFields(const QStringList& fields);
    QLineEdit* filterEdit(int logicalIndex) const;
    QSize sizeHint() const override;
    void placeEditors();

signals:
    void filterEdited(int logicalIndex, const QString& text);   // as typed
    void filterCommitted(int logicalIndex);                     // Enter pressed in the box

protected:
    void updateGeometries() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int filterHeight() const;

    std::vector<QLineEdit*> editors_;
    QStringList fields_;
    int pressedSection_ = -1;
    QPoint pressedAt_;
};

// The row indicator: a narrow column left of the rows with a mark on the current one.
class GridRowIndicator : public QHeaderView {
    Q_OBJECT
public:
    explicit GridRowIndicator(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    void setCurrentRow(int row);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    int current_ = -1;
};

class GridTableView : public QTableView {
    Q_OBJECT
public:
    explicit GridTableView(QWidget* parent = nullptr);

    using QTableView::edit;
    GridHeader* gridHeader() const { return header_; }
    GridRowIndicator* rowIndicator() const { return indicator_; }
    bool isEditing() const { return state() == EditingState; }
    void postEdit();    // commits the open cell editor
    void cancelEdit();  // closes it, dropping what was typed
    void moveToNextCell();

signals:
    void editingChanged(bool editing);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    GridHeader* header_;
    GridRowIndicator* indicator_;
};

// The footer: one cell under every column, holding its sum where the column has one.
class GridFooter : public QWidget {
    Q_OBJECT
public:
    explicit GridFooter(GridTableView* view, QWidget* parent = nullptr);
    void setColumns(const QStringList& fields);
    void setText(int logicalIndex, const QString& text);
    QLabel* cell(int logicalIndex) const;
    void place();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    GridTableView* view_;
    std::vector<QLabel*> cells_;
};

}  // namespace platform::ui
