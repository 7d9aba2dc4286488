#include "screens/u_fPreluareMesajeSPV.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "anaf/u_fProcAnaf.h"
#include "data/u_dmCon.h"
#include "platform/ui/dialogs.h"
#include "sync/spv_retrieval_run.h"

TfPreluareMesajeSPV* fPreluareMesajeSPV = nullptr;

namespace {

class MemoLog : public retrieval::RunLog {
public:
    MemoLog(QPlainTextEdit* summary, QPlainTextEdit* detail) : summary_(summary), detail_(detail) {}
    void summary(const std::string& line) override {
        summary_->appendPlainText(QString::fromStdString(line));
    }
    void detail(const std::string& line) override {
        detail_->appendPlainText(QString::fromStdString(line));
    }
    void clearSummary() override { summary_->clear(); }
    void processEvents() override { QApplication::processEvents(); }

private:
    QPlainTextEdit* summary_;
    QPlainTextEdit* detail_;
};

}  // namespace

TfPreluareMesajeSPV::TfPreluareMesajeSPV(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fPreluareMesajeSPV"));
    setWindowTitle(QStringLiteral("fPreluareMesajeSPV"));
    resize(760, 560);

    Label18 = new QLabel(
        QStringLiteral("Preluare mesaje eFactura din SPV ( facturi trimise, facturi primite, erori, etc.)"),
        this);
    Label18->setObjectName(QStringLiteral("Label18"));
    QFont big = Label18->font();
    big.setBold(true);
    big.setPointSize(big.pointSize() + 3);
    Label18->setFont(big);
    Label18->setStyleSheet(QStringLiteral("color: red;"));

    ButtonPreluareMesajeSPV = new QPushButton(QStringLiteral("Preluare mesaje SPV"), this);
    ButtonPreluareMesajeSPV->setObjectName(QStringLiteral("ButtonPreluareMesajeSPV"));
    CheckBoxUseAPI = new QCheckBox(QStringLiteral("foloseste API ANAF"), this);
    CheckBoxUseAPI->setObjectName(QStringLiteral("CheckBoxUseAPI"));
    Button1 = new QPushButton(QStringLiteral("Vezi jurnal preluare mesaje detaliat"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2 = new QPlainTextEdit(this);
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setReadOnly(true);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonPreluareMesajeSPV);
    buttons->addWidget(CheckBoxUseAPI);
    buttons->addStretch();
    buttons->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label18);
    layout->addLayout(buttons);
    layout->addWidget(Memo1, 1);
    layout->addWidget(Memo2, 1);

    connect(ButtonPreluareMesajeSPV, &QPushButton::clicked, this,
            &TfPreluareMesajeSPV::ButtonPreluareMesajeSPVClick);
    connect(CheckBoxUseAPI, &QCheckBox::clicked, this, &TfPreluareMesajeSPV::CheckBoxUseAPIClick);
    connect(Button1, &QPushButton::clicked, this, &TfPreluareMesajeSPV::Button1Click);
}

void TfPreluareMesajeSPV::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Memo2->hide();
}

void TfPreluareMesajeSPV::CheckBoxUseAPIClick() { dmCon->glUseAnafAPI = CheckBoxUseAPI->isChecked(); }

void TfPreluareMesajeSPV::Button1Click() { Memo2->setVisible(!Memo2->isVisible()); }

void TfPreluareMesajeSPV::ButtonPreluareMesajeSPVClick() {
    // The window repaints once per page; a click that arrives then must not start a second run.
    if (running_) return;
    running_ = true;
    ButtonPreluareMesajeSPV->setEnabled(false);
    MemoLog log(Memo1, Memo2);
    platform::ui::runGuarded(this, [&] { retrieval::SpvRetrievalRun(*dmCon, *fProcAnaf, log).run(); });
    ButtonPreluareMesajeSPV->setEnabled(true);
    running_ = false;
}
