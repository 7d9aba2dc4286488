#pragma once
// Memo boxes that a screen places below a grid, bound to fields of the grid's current row. They
// show the row's text as the current row moves; an editable one posts its text to the query by
// key when it loses the focus, when the current row moves on, or when the grid posts.

#include <QObject>
#include <QPointer>
#include <string>
#include <vector>

#include "platform/pg/value.h"

class QPlainTextEdit;
class QTextEdit;
class QWidget;

namespace platform::ui {

class QueryTableModel;

class GridBoundMemos : public QObject {
    Q_OBJECT
public:
    explicit GridBoundMemos(QueryTableModel* model, QObject* parent = nullptr);

    void bind(QPlainTextEdit* memo, const std::string& field, bool editable);
    void bind(QTextEdit* memo, const std::string& field, bool editable);

    void show(int sourceRow);  // -1: no row, the boxes go empty
    int row() const { return row_; }
    bool hasPendingEdits() const;
    // Posts what was typed into editable boxes; false (after the error box) when it was refused.
    bool post();
    void revert();  // shows the row's stored text again

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Memo {
        QPointer<QWidget> widget;
        QPlainTextEdit* plain = nullptr;
        QTextEdit* rich = nullptr;
        std::string field;
        bool editable = false;
        bool dirty = false;
    };
    void add(Memo memo);
    QString text(const Memo& m) const;
    void setText(Memo& m, const QString& text);
    bool sameRecord() const;

    QueryTableModel* model_;
    std::vector<Memo> memos_;
    int row_ = -1;
    std::vector<platform::pg::Value> shown_;  // the row as the boxes showed it
    bool posting_ = false;
};

}  // namespace platform::ui
