#include "platform/ui/grid/grid_group_box.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QToolButton>

#include "platform/ui/grid/grid_table_view.h"

namespace platform::ui {

GridGroupByBox::GridGroupByBox(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("GridGroupByBox"));
    setAttribute(Qt::WA_StyledBackground);
    setAcceptDrops(true);
    layout_ = new QHBoxLayout(this);
    layout_->setContentsMargins(4, 2, 4, 2);
    layout_->setSpacing(4);
    hint_ = new QLabel(tr("Trageti aici antetul unei coloane pentru a grupa dupa ea"), this);
    hint_->setObjectName(QStringLiteral("GridGroupByHint"));
    layout_->addWidget(hint_);
    layout_->addStretch();
}

void GridGroupByBox::setGroups(const QStringList& fields, const QStringList& captions) {
    qDeleteAll(chips_);
    chips_.clear();
    hint_->setVisible(fields.isEmpty());
    for (int i = 0; i < fields.size(); ++i) {
        auto* chip = new QToolButton(this);
        chip->setObjectName(QStringLiteral("GridGroupChip"));
        chip->setProperty("field", fields[i]);
        chip->setText((i ? QStringLiteral("\u203A ") : QString()) + captions.value(i) + QStringLiteral("  \u2715"));
        chip->setToolTip(tr("Elimina gruparea dupa aceasta coloana"));
        connect(chip, &QToolButton::clicked, this, [this, field = fields[i]] { emit removeRequested(field); });
        layout_->insertWidget(layout_->count() - 1, chip);
        chip->show();  // made after the box was shown
        chips_ << chip;
    }
}

void GridGroupByBox::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(QString::fromLatin1(kGridColumnMimeType))) event->acceptProposedAction();
}

void GridGroupByBox::dropEvent(QDropEvent* event) {
    const QByteArray field = event->mimeData()->data(QString::fromLatin1(kGridColumnMimeType));
    if (field.isEmpty()) return;
    event->acceptProposedAction();
    emit fieldDropped(QString::fromUtf8(field));
}

}  // namespace platform::ui
