#include "screens/u_fSupplierInvoiceImport.h"

#include <QApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/u_dmCon.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/grid/data_grid.h"

TfSupplierInvoiceImport* fSupplierInvoiceImport = nullptr;

namespace {

const char* const kListSql = R"SQL(
SELECT t.msg_data_creare, t.msg_id, t.msg_cif, t.msg_index_incarcare, t.msg_detalii, t.msg_tip,
       t.data_ins_qor, t.err_ins_qor, t.obs_msg, t.data_doc_xml, t.nr_doc_xml, t.type_code_doc_xml,
       t.partener_xml, t.val_cu_tva_mon_xml, v.data_doc_qor, v.tip_doc_qor, v.nr_doc_qor, x.err_xml,
       to_timestamp(t.msg_data_creare, 'YYYYMMDDHH24MI')::timestamp AS msg_data_creare_d
  FROM anaf_e_fact_msg_toate t
  JOIN view_anaf_e_fact_msg_toate v ON v.msg_data_creare = t.msg_data_creare AND v.msg_id = t.msg_id
  LEFT JOIN LATERAL o_e_fact_read_xml(t.msg_factura_xml) x ON true
 WHERE t.msg_tip = 'FACTURA PRIMITA'
   AND to_timestamp(t.msg_data_creare, 'YYYYMMDDHH24MI')::date BETWEEN :pDataIncep AND :pDataSfarsit
 ORDER BY t.msg_data_creare DESC, t.msg_id DESC)SQL";

const char* const kRowSql =
    "SELECT msg_data_creare, msg_id, msg_factura_xml, msg_zip FROM anaf_e_fact_msg_toate"
    " WHERE msg_data_creare = :msg_data_creare AND msg_id = :msg_id";

const char* const kAlreadyImported = "Factura este deja importata/marcata in QOR.";

using platform::ui::GridColumn;
using Format = GridColumn::Format;

}  // namespace

TfSupplierInvoiceImport::TfSupplierInvoiceImport(TdmCon& dm, QWidget* parent)
    : QWidget(parent), dsAnafEfactMsgToate(dm.conQor, kListSql), dsAnafeFactMsgToate_unu(dm.conQor, kRowSql), dm_(dm) {
    setObjectName(QStringLiteral("fSupplierInvoiceImport"));
    setWindowTitle(QStringLiteral("fSupplierInvoiceImport"));
    resize(1200, 700);
    dsAnafEfactMsgToate.setUpdateTable("anaf_e_fact_msg_toate", {"msg_data_creare", "msg_id"});

    auto* title = new QLabel(QStringLiteral("XML facturi furnizori - Mesaje descarcate din SPV"), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setStyleSheet(QStringLiteral("color: red;"));
    cxDateEditIncep = new QDateEdit(this);
    cxDateEditIncep->setObjectName(QStringLiteral("cxDateEditIncep"));
    cxDateEditSfarsit = new QDateEdit(this);
    cxDateEditSfarsit->setObjectName(QStringLiteral("cxDateEditSfarsit"));
    for (auto* d : {cxDateEditIncep, cxDateEditSfarsit}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    }
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    ButtonCauta = button("ButtonCauta", "Cauta");
    ButtonVeziXml = button("ButtonVeziXml", "Vezi XML");
    ButtonXmlToPDF = button("ButtonXmlToPDF", "Vezi PDF XML");
    ButtonDescZip = button("ButtonDescZip", "Descarca fisier zip");
    ButtonExport = button("ButtonExport", "Export grid (Excel)");
    ButtonScrieUnuInQOR = button("ButtonScrieUnuInQOR", "Importa factura curenta in QOR");
    ButtonMarcheazaInsQor = button("ButtonMarcheazaInsQor", "Marcheaza factura ca fiind inserata");
    ButtonDemarcheazaInsQor = button("ButtonDemarcheazaInsQor", "Demarcheaza factura ca fiind inserata");
    ButtonScrieTotInQOR = button("ButtonScrieTotInQOR", "Importa toate facturile in QOR");

    cxGrid1 = new platform::ui::DataGrid(this);
    cxGrid1->setObjectName(QStringLiteral("cxGrid1"));
    cxGrid1->setQuery(&dsAnafEfactMsgToate,
                      {{"msg_data_creare_d", "data_creare", Format::DateTime},
                       {"msg_id", "id"},
                       {"msg_index_incarcare", "index_incarcare"},
                       {"partener_xml", "partener_xml"},
                       {"data_doc_xml", "data_doc_xml", Format::Date},
                       {"nr_doc_xml", "nr_doc_xml"},
                       {"data_doc_qor", "data_doc_qor", Format::Date},
                       {"nr_doc_qor", "nr_doc_qor"},
                       {"data_ins_qor", "data_ins_qor", Format::DateTime},
                       {"obs_msg", "obs_msg", Format::Text, true},
                       {"err_ins_qor", "err_ins_qor"},
                       {"type_code_doc_xml", "cod_fact_xml"},
                       {"val_cu_tva_mon_xml", "val_cu_tva_mon_xml", Format::Number, false, true},
                       {"err_xml", "err_xml"},
                       {"msg_detalii", "msg_detalii"}});
    cxGrid1->onRefresh = [this] {
        if (dsAnafEfactMsgToate.isOpen()) dsAnafEfactMsgToate.refresh();
    };

    auto* top = new QHBoxLayout;
    top->addWidget(title);
    top->addStretch();
    top->addWidget(new QLabel(QStringLiteral("Data inceput"), this));
    top->addWidget(cxDateEditIncep);
    top->addWidget(new QLabel(QStringLiteral("Data sfarsit"), this));
    top->addWidget(cxDateEditSfarsit);
    top->addWidget(ButtonCauta);
    auto* buttons = new QHBoxLayout;
    for (auto* b : {ButtonVeziXml, ButtonXmlToPDF, ButtonDescZip, ButtonExport, ButtonScrieUnuInQOR,
                    ButtonMarcheazaInsQor, ButtonDemarcheazaInsQor, ButtonScrieTotInQOR})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* memos = new QGridLayout;
    int column = 0;
    for (const char* field : {"partener_xml", "msg_detalii", "err_ins_qor", "obs_msg"}) {
        auto* label = new QLabel(QString::fromLatin1(field), this);
        label->setFont(bold);
        auto* memo = new QPlainTextEdit(this);
        memo->setObjectName(QStringLiteral("Memo_") + QString::fromLatin1(field));
        memo->setMaximumHeight(memo->fontMetrics().height() * 2 + 8);
        cxGrid1->bindMemo(memo, field, std::string(field) == "obs_msg");
        memos->addWidget(label, 0, column);
        memos->addWidget(memo, 1, column++);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->addWidget(cxGrid1, 1);
    layout->addLayout(memos);

    actions_ = std::make_unique<ListScreenActions>(ListScreenActions::Config{
        this, &dsAnafEfactMsgToate, &dsAnafeFactMsgToate_unu, cxGrid1, cxDateEditIncep, cxDateEditSfarsit,
        QStringLiteral("FacturiElectroniceFurnizori.xlsx")});
    actions_->resetPeriod();

    auto guarded = [this](auto member) { return [this, member] { platform::ui::runGuarded(this, [&] { (this->*member)(); }); }; };
    connect(ButtonCauta, &QPushButton::clicked, this, [this] { platform::ui::runGuarded(this, [&] { actions_->search(); }); });
    connect(ButtonVeziXml, &QPushButton::clicked, this, [this] { platform::ui::runGuarded(this, [&] { actions_->viewXml(); }); });
    connect(ButtonXmlToPDF, &QPushButton::clicked, this, [this] { platform::ui::runGuarded(this, [&] { actions_->viewPdf(); }); });
    connect(ButtonDescZip, &QPushButton::clicked, this, [this] { platform::ui::runGuarded(this, [&] { actions_->saveZip(); }); });
    connect(ButtonExport, &QPushButton::clicked, this, [this] { platform::ui::runGuarded(this, [&] { actions_->exportGrid(); }); });
    connect(ButtonScrieUnuInQOR, &QPushButton::clicked, this, guarded(&TfSupplierInvoiceImport::ButtonScrieUnuInQORClick));
    connect(ButtonMarcheazaInsQor, &QPushButton::clicked, this, guarded(&TfSupplierInvoiceImport::ButtonMarcheazaInsQorClick));
    connect(ButtonDemarcheazaInsQor, &QPushButton::clicked, this, guarded(&TfSupplierInvoiceImport::ButtonDemarcheazaInsQorClick));
    connect(ButtonScrieTotInQOR, &QPushButton::clicked, this, guarded(&TfSupplierInvoiceImport::ButtonScrieTotInQORClick));
}

void TfSupplierInvoiceImport::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    actions_->resetPeriod();
}

void TfSupplierInvoiceImport::importRow(int sourceRow) {
    const auto& row = dsAnafEfactMsgToate.row(sourceRow);
    platform::pg::StoredProc f(dm_.conQor, "o_efact_furn_ins_qor_unu_msg_toate");
    f.setParam("pemitent", dm_.glUser);
    f.setParam("pmsgdatacreare", row[static_cast<size_t>(dsAnafEfactMsgToate.columnIndex("msg_data_creare"))]);
    f.setParam("pmsgid", row[static_cast<size_t>(dsAnafEfactMsgToate.columnIndex("msg_id"))]);
    f.execute();
}

void TfSupplierInvoiceImport::ButtonScrieUnuInQORClick() {
    actions_->requireRows();
    if (!actions_->current("data_ins_qor").isNull()) throw std::runtime_error(kAlreadyImported);
    std::exception_ptr failure;
    try {
        importRow(cxGrid1->currentSourceRow());
    } catch (...) {
        failure = std::current_exception();
    }
    dsAnafEfactMsgToate.refresh();  // also after a failure: the row shows what was recorded
    cxGrid1->reload();
    if (failure) std::rethrow_exception(failure);
}

void TfSupplierInvoiceImport::mark(bool on) {
    const auto key = actions_->current("msg_data_creare");
    const auto id = actions_->current("msg_id");
    const std::string number = actions_->current("nr_doc_xml").asString();
    const char* const set = on ? "data_ins_qor = clock_timestamp(), err_ins_qor = NULL"
                               : "data_ins_qor = NULL, err_ins_qor = NULL";
    try {
        for (const char* table : {"anaf_e_fact_msg_toate", "anaf_e_fact_furn_msg"}) {
            platform::pg::Query q(dm_.conQor, std::string("UPDATE ") + table + " SET " + set +
                                                  " WHERE msg_data_creare = :pMsgDataCreare AND msg_id = :pMsgId");
            q.setParam("pMsgDataCreare", key);
            q.setParam("pMsgId", id);
            q.execute();
        }
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string(on ? "EROARE marcare factura nr. " : "EROARE demarcare factura nr. ") +
                                 number + " = " + e.what());
    }
    dsAnafEfactMsgToate.refresh();  // re-reads the current row, kept by its key
    cxGrid1->reload();
}

void TfSupplierInvoiceImport::ButtonMarcheazaInsQorClick() {
    actions_->requireRows();
    if (!actions_->current("data_ins_qor").isNull()) throw std::runtime_error(kAlreadyImported);
    mark(true);
}

void TfSupplierInvoiceImport::ButtonDemarcheazaInsQorClick() {
    actions_->requireRows();
    mark(false);
}

void TfSupplierInvoiceImport::ButtonScrieTotInQORClick() {
    actions_->requireRows();
    if (platform::ui::dialogs().ask(this, QStringLiteral("Sunteti sigur ca doriti importul tuturor facturilor?"),
                                    {platform::ui::Answer::Yes, platform::ui::Answer::Cancel}) !=
        platform::ui::Answer::Yes)
        return;
    // Marks set on the legacy screens come over first.
    platform::pg::Query(dm_.conQor,
                        "UPDATE anaf_e_fact_msg_toate t SET data_ins_qor = f.data_ins_qor"
                        "  FROM anaf_e_fact_furn_msg f"
                        " WHERE f.msg_data_creare = t.msg_data_creare AND f.msg_id = t.msg_id"
                        "   AND t.data_ins_qor IS NULL AND f.data_ins_qor IS NOT NULL")
        .execute();
    dsAnafEfactMsgToate.refresh();
    cxGrid1->reload();
    cxGrid1->setCurrentViewRow(0);
    const int nrDoc = dsAnafEfactMsgToate.columnIndex("nr_doc_qor");
    const int inserted = dsAnafEfactMsgToate.columnIndex("data_ins_qor");
    for (int row : cxGrid1->rowsInViewOrder()) {
        const auto& values = dsAnafEfactMsgToate.row(row);
        if (!values[static_cast<size_t>(nrDoc)].isNull() || !values[static_cast<size_t>(inserted)].isNull()) continue;
        importRow(row);  // an error ends the loop here and reaches the error box
        QApplication::processEvents();
    }
    dsAnafEfactMsgToate.refresh();
    cxGrid1->reload();
}
