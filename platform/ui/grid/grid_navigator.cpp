#include "platform/ui/grid/grid_navigator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace platform::ui {

GridNavigator::GridNavigator(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("GridNavigator"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    struct Spec {
        Button id;
        const char* name;
        QString glyph;
        QString tip;
    };
    const Spec specs[] = {
        {First, "NavFirst", QStringLiteral("|\u25C0"), tr("Prima inregistrare")},
        {Prior, "NavPrior", QStringLiteral("\u25C0"), tr("Inregistrarea anterioara")},
        {Next, "NavNext", QStringLiteral("\u25B6"), tr("Inregistrarea urmatoare")},
        {Last, "NavLast", QStringLiteral("\u25B6|"), tr("Ultima inregistrare")},
        {Refresh, "NavRefresh", QStringLiteral("\u21BB"), tr("Reimprospatare")},
        {Delete, "NavDelete", QStringLiteral("\u2212"), tr("Sterge inregistrarea")},
        {Edit, "NavEdit", QStringLiteral("\u270E"), tr("Modifica")},
        {Post, "NavPost", QStringLiteral("\u2713"), tr("Salveaza modificarea")},
        {Cancel, "NavCancel", QStringLiteral("\u2717"), tr("Renunta la modificare")},
    };
    for (const auto& s : specs) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(s.name));
        b->setText(s.glyph);
        b->setToolTip(s.tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);  // the grid keeps the focus and its open editor
        connect(b, &QToolButton::clicked, this, [this, id = s.id] { emit clicked(id); });
        layout->addWidget(b);
        buttons_[s.id] = b;
    }
    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("GridInfo"));
    info_->setContentsMargins(6, 0, 6, 0);
    layout->addWidget(info_);
    layout->addStretch();
    setState(0, 0, false, false, false);
}

void GridNavigator::setVisibleButtons(Buttons buttons) {
    for (auto& [id, b] : buttons_) b->setVisible(buttons.testFlag(id));
}

QString GridNavigator::infoText(int position, int count) {
    return tr("Inregistrarea %1 din %2").arg(position).arg(count);
}

void GridNavigator::setState(int position, int count, bool editing, bool canEdit, bool canDelete) {
    const bool some = count > 0;
    buttons_[First]->setEnabled(some && position != 1);
    buttons_[Prior]->setEnabled(some && position != 1);
    buttons_[Next]->setEnabled(some && position != count);
    buttons_[Last]->setEnabled(some && position != count);
    buttons_[Delete]->setEnabled(position > 0 && canDelete && !editing);
    buttons_[Edit]->setEnabled(position > 0 && canEdit && !editing);
    buttons_[Post]->setEnabled(editing);
    buttons_[Cancel]->setEnabled(editing);
    info_->setText(infoText(position, count));
}

}  // namespace platform::ui
