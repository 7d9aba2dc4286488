#include "platform/ui/grid/grid_bound_memos.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextEdit>
#include <algorithm>
#include <stdexcept>

#include "platform/ui/dialogs.h"
#include "platform/ui/grid/query_table_model.h"

namespace platform::ui {

GridBoundMemos::GridBoundMemos(QueryTableModel* model, QObject* parent) : QObject(parent), model_(model) {
    // Our own posts change the row: what the boxes show is then the row as it is now.
    connect(model_, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from, const QModelIndex& to) {
        if (row_ >= from.row() && row_ <= to.row() && model_->query() && row_ < model_->query()->rowCount())
            shown_ = model_->query()->row(row_);
    });
}

void GridBoundMemos::bind(QPlainTextEdit* memo, const std::string& field, bool editable) {
    Memo m;
    m.widget = memo;
    m.plain = memo;
    m.field = field;
    m.editable = editable;
    memo->setReadOnly(!editable);
    connect(memo, &QPlainTextEdit::textChanged, this, [this, memo] {
        for (auto& x : memos_)
            if (x.plain == memo && !posting_) x.dirty = x.editable;
    });
    add(std::move(m));
}

void GridBoundMemos::bind(QTextEdit* memo, const std::string& field, bool editable) {
    Memo m;
    m.widget = memo;
    m.rich = memo;
    m.field = field;
    m.editable = editable;
    memo->setReadOnly(!editable);
    memo->setAcceptRichText(false);
    connect(memo, &QTextEdit::textChanged, this, [this, memo] {
        for (auto& x : memos_)
            if (x.rich == memo && !posting_) x.dirty = x.editable;
    });
    add(std::move(m));
}

void GridBoundMemos::add(Memo memo) {
    memo.widget->installEventFilter(this);
    memos_.push_back(std::move(memo));
    show(row_);
}

QString GridBoundMemos::text(const Memo& m) const {
    return m.plain ? m.plain->toPlainText() : m.rich->toPlainText();
}

void GridBoundMemos::setText(Memo& m, const QString& text) {
    posting_ = true;  // a change made here is not the operator's
    if (m.plain) m.plain->setPlainText(text);
    else m.rich->setPlainText(text);
    posting_ = false;
    m.dirty = false;
}

void GridBoundMemos::show(int sourceRow) {
    const auto* q = model_->query();
    const auto* t = model_->table();
    row_ = sourceRow;
    shown_.clear();
    const bool valid = sourceRow >= 0 && ((q && q->isOpen() && sourceRow < q->rowCount()) ||
                                          (t && sourceRow < t->rowCount()));
    if (valid && q) shown_ = q->row(sourceRow);
    for (auto& m : memos_) {
        if (!m.widget) continue;
        std::string value;
        if (valid && q && q->hasColumn(m.field)) value = shown_[static_cast<size_t>(q->columnIndex(m.field))].asString();
        else if (valid && t && t->fieldIndex(m.field) >= 0) value = t->value(sourceRow, m.field);
        setText(m, QString::fromStdString(value));
        m.widget->setEnabled(valid || !m.editable);
    }
}

bool GridBoundMemos::hasPendingEdits() const {
    return std::any_of(memos_.begin(), memos_.end(), [](const Memo& m) { return m.widget && m.dirty; });
}

bool GridBoundMemos::sameRecord() const {
    const auto* q = model_->query();
    return q && q->isOpen() && row_ >= 0 && row_ < q->rowCount() && q->row(row_) == shown_;
}

bool GridBoundMemos::post() {
    if (!hasPendingEdits()) return true;
    return runGuarded(nullptr, [this] {
        // The row index must still name the record the text was typed for.
        if (!sameRecord()) {
            revert();
            throw std::runtime_error("Textul nu a fost salvat: inregistrarea a fost modificata sau stearsa intre timp.");
        }
        for (auto& m : memos_) {
            if (!m.widget || !m.dirty) continue;
            const QString typed = text(m);
            model_->updateRow(row_, {{m.field, typed.isEmpty() ? platform::pg::Value()
                                                              : platform::pg::Value(typed.toStdString())}});
            m.dirty = false;
        }
    });
}

void GridBoundMemos::revert() { show(row_); }

bool GridBoundMemos::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut)
        for (const auto& m : memos_)
            if (m.widget == watched && m.dirty) {
                post();
                break;
            }
    return QObject::eventFilter(watched, event);
}

}  // namespace platform::ui
