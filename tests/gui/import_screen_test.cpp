// The supplier-invoice import screen offscreen: the shared actions, import, marks, import all,
// the grid's filter and export, against the sandbox database and the stand-in.
#include <QDateEdit>
#include <QPushButton>
#include <QtTest>
#include <zip.h>

#include <pugixml.hpp>

#include "platform/ui/dialogs.h"
#include "platform/ui/grid/data_grid.h"
#include "screens/u_fSupplierInvoiceImport.h"
#include "support/retrieval_fixture.h"

namespace {

const char* const kInvoice =
    R"(<Invoice xmlns="urn:oasis:names:specification:ubl:schema:xsd:Invoice-2" xmlns:cbc="urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2" xmlns:cac="urn:oasis:names:specification:ubl:schema:xsd:CommonAggregateComponents-2"><cbc:ID>%1</cbc:ID><cbc:IssueDate>2024-03-01</cbc:IssueDate><cbc:InvoiceTypeCode>380</cbc:InvoiceTypeCode><cac:AccountingSupplierParty><cac:Party><cac:PartyLegalEntity><cbc:RegistrationName>Furnizor %1</cbc:RegistrationName></cac:PartyLegalEntity></cac:Party></cac:AccountingSupplierParty><cac:LegalMonetaryTotal><cbc:TaxInclusiveAmount currencyID="RON">%2</cbc:TaxInclusiveAmount></cac:LegalMonetaryTotal></Invoice>)";

std::string xmlFor(int n, double total) { return QString::fromLatin1(kInvoice).arg(n).arg(total).toStdString(); }

std::string zipEntry(const QString& path, const char* name) {
    int err = 0;
    zip_t* z = zip_open(path.toUtf8().constData(), ZIP_RDONLY, &err);
    if (!z) return {};
    zip_stat_t st;
    std::string out;
    if (zip_stat(z, name, 0, &st) == 0) {
        zip_file_t* f = zip_fopen(z, name, 0);
        out.resize(st.size);
        zip_fread(f, out.data(), st.size);
        zip_fclose(f);
    }
    zip_close(z);
    return out;
}

}  // namespace

class ImportScreenTest : public QObject {
    Q_OBJECT
    platform::ui::ScriptedDialogs* dialogs = nullptr;
    platform::ui::RecordingShell* shell = nullptr;
    std::unique_ptr<testsupport::RetrievalFixture> f;
    std::unique_ptr<TfSupplierInvoiceImport> screen;

    void search(const QDate& from, const QDate& to) {
        screen->cxDateEditIncep->setDate(from);
        screen->cxDateEditSfarsit->setDate(to);
        screen->ButtonCauta->click();
    }
    int calls() const {
        return std::stoi(f->db.erp.scalar("SELECT count(*) FROM doc WHERE tip_doc IN ('FF', 'FFR')"));
    }

private slots:
    void init() {
        auto d = std::make_unique<platform::ui::ScriptedDialogs>();
        dialogs = d.get();
        platform::ui::setDialogs(std::move(d));
        auto s = std::make_unique<platform::ui::RecordingShell>();
        shell = s.get();
        platform::ui::setShell(std::move(s));
        f = std::make_unique<testsupport::RetrievalFixture>();
        // five received invoices on 2024-03-01..05; the third is a credit note without XML type
        for (int n = 1; n <= 5; ++n)
            f->db.erp.exec(
                "INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip, msg_index_incarcare,"
                " msg_factura_xml, msg_zip, type_code_doc_xml, nr_doc_xml, val_cu_tva_mon_xml, data_doc_xml)"
                " VALUES ($1, $2, 'FACTURA PRIMITA', $3, $4, '\\x504b0304', $5, $6, $7, '2024-03-01')",
                {platform::pg::Value("2024030" + std::to_string(n) + "1000"), platform::pg::Value(std::to_string(n)),
                 platform::pg::Value("90" + std::to_string(n)), platform::pg::Value(xmlFor(n, n * 100.5)),
                 n == 3 ? platform::pg::Value("381") : n == 4 ? platform::pg::Value() : platform::pg::Value("380"),
                 platform::pg::Value("F" + std::to_string(n)), platform::pg::Value(n * 100.5)});
        f->db.erp.exec("INSERT INTO anaf_e_fact_furn_msg (msg_data_creare, msg_id, msg_tip) "
                       "SELECT msg_data_creare, msg_id, msg_tip FROM anaf_e_fact_msg_toate");
        screen = std::make_unique<TfSupplierInvoiceImport>(*f->db.dm);
        screen->show();
        setenv("TARVELO_COMMON_DATA_DIR", (QDir::tempPath() + "/tarvelo-pdf").toUtf8().constData(), 1);
    }
    void cleanup() {
        screen.reset();
        f.reset();
        platform::ui::setDialogs(nullptr);
        platform::ui::setShell(nullptr);
    }

    void actionsBeforeTheFirstSearchSayThereAreNoRows() {
        screen->ButtonVeziXml->click();
        screen->ButtonScrieTotInQOR->click();
        QCOMPARE(dialogs->errors(), (QStringList{"Nu aveti inregistrari.", "Nu aveti inregistrari."}));
        QCOMPARE(screen->cxDateEditSfarsit->date(), QDate::currentDate());
        QCOMPARE(screen->cxDateEditIncep->date(), QDate::currentDate().addDays(-7));
        search(QDate(2024, 3, 5), QDate(2024, 3, 1));  // the end before the start
        QCOMPARE(screen->cxGrid1->visibleRowCount(), 0);
    }

    void viewXmlPdfAndZip() {
        search(QDate(2024, 3, 1), QDate(2024, 3, 5));
        QCOMPARE(screen->cxGrid1->visibleRowCount(), 5);
        screen->cxGrid1->setCurrentViewRow(0);  // newest first: message 5
        screen->ButtonVeziXml->click();
        QCOMPARE(shell->opened.size(), 1);
        QFile xml(shell->opened[0]);
        QVERIFY(xml.open(QIODevice::ReadOnly));
        const QByteArray bytes = xml.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF<Invoice"));
        QVERIFY(bytes.endsWith("</Invoice>\r\n"));
        QVERIFY(shell->opened[0].endsWith("905.xml"));

        // type codes 380 and empty render as Invoice, 381 as CreditNote
        for (int viewRow : {0, 1, 2}) {  // messages 5 (380), 4 (empty), 3 (381)
            screen->cxGrid1->setCurrentViewRow(viewRow);
            screen->ButtonXmlToPDF->click();
        }
        QVERIFY2(dialogs->errors().isEmpty(), qPrintable(dialogs->errors().join("|")));
        QStringList kinds;
        for (const auto& r : f->standin.requests()) kinds << QString::fromStdString(r["path"]).section('/', -2, -2);
        QCOMPARE(kinds, (QStringList{"FACT1", "FACT1", "FCN"}));
        QVERIFY(shell->opened.last().endsWith("903.pdf"));

        const QString zipPath = QDir::tempPath() + "/tarvelo-test-" + QString::number(getpid()) + ".zip";
        dialogs->fileNames << zipPath;
        screen->ButtonDescZip->click();
        QFile zip(zipPath);
        QVERIFY(zip.open(QIODevice::ReadOnly));
        QCOMPARE(zip.readAll(), QByteArray("PK\x03\x04"));
        QCOMPARE(dialogs->messages().last(), "S-a descarcat fisierul in " + zipPath);
        zip.remove();
    }

    void importCurrentRespectsTheMarkButNotTheErpDocument() {
        search(QDate(2024, 3, 1), QDate(2024, 3, 5));
        f->db.erp.exec("UPDATE anaf_e_fact_msg_toate SET data_ins_qor = now() WHERE msg_id = '5'");
        screen->ButtonCauta->click();
        screen->cxGrid1->setCurrentViewRow(0);
        screen->ButtonScrieUnuInQOR->click();
        QCOMPARE(dialogs->errors(), QStringList{"Factura este deja importata/marcata in QOR."});
        QCOMPARE(calls(), 0);
        screen->cxGrid1->setCurrentViewRow(1);  // message 4: pending
        screen->ButtonScrieUnuInQOR->click();
        QCOMPARE(calls(), 1);
        QCOMPARE(f->db.erp.scalar("SELECT coalesce(err_ins_qor, '-') FROM anaf_e_fact_msg_toate WHERE msg_id = '4'"), std::string("-"));
        QCOMPARE(screen->actions().current("nr_doc_qor").asString(), std::string("4"));  // the XML's number
        QVERIFY(!screen->actions().current("data_ins_qor").isNull());
    }

    void marksUseTheServerClockAndUnmarkingIsSilent() {
        search(QDate(2024, 3, 1), QDate(2024, 3, 5));
        screen->cxGrid1->setCurrentViewRow(4);  // message 1
        screen->ButtonDemarcheazaInsQor->click();  // unmarked already: silently fine
        QVERIFY(dialogs->errors().isEmpty());
        screen->ButtonMarcheazaInsQor->click();
        QVERIFY(dialogs->errors().isEmpty());
        QCOMPARE(screen->actions().current("msg_id").asString(), std::string("1"));
        QCOMPARE(f->db.erp.scalar("SELECT count(*) FROM anaf_e_fact_msg_toate t JOIN anaf_e_fact_furn_msg m USING (msg_data_creare, msg_id)"
                                  " WHERE msg_id = '1' AND t.data_ins_qor > now() - interval '1 minute' AND m.data_ins_qor > now() - interval '1 minute'"),
                 std::string("1"));
        screen->ButtonMarcheazaInsQor->click();
        QCOMPARE(dialogs->errors(), QStringList{"Factura este deja importata/marcata in QOR."});
        screen->ButtonDemarcheazaInsQor->click();
        QVERIFY(screen->actions().current("data_ins_qor").isNull());
    }

    void importAllWalksTheFilteredGridAndSkipsWhatIsDone() {
        f->db.erp.exec("UPDATE anaf_e_fact_furn_msg SET data_ins_qor = '2024-03-02 12:00' WHERE msg_id = '2'");  // legacy mark
        f->db.erp.exec("INSERT INTO doc (data_doc, tip_doc, nr_doc) VALUES ('2024-03-01', 'FF', 'MANUAL3')");
        f->db.erp.exec("INSERT INTO anaf_e_fact_msg_doc (msg_data_creare, msg_id, data_doc, tip_doc, nr_doc)"
                       " VALUES ('202403031000', '3', '2024-03-01', 'FF', 'MANUAL3')");
        search(QDate(2024, 3, 1), QDate(2024, 3, 5));
        screen->cxGrid1->setColumnFilter("msg_id", "");
        // rows 1, 2 and 3 only: filter on the index column
        screen->cxGrid1->setColumnFilter("msg_index_incarcare", "90");
        screen->cxGrid1->setColumnFilter("msg_detalii", "");
        screen->cxGrid1->setColumnFilter("nr_doc_xml", "f");
        screen->cxGrid1->setColumnFilter("msg_index_incarcare", "");
        screen->cxGrid1->setColumnFilter("val_cu_tva_mon_xml", ".50");  // 100.50, 301.50, 502.50
        const int shown = screen->cxGrid1->visibleRowCount();
        QCOMPARE(shown, 3);  // messages 1, 3, 5
        f->db.erp.exec("UPDATE anaf_e_fact_furn_msg SET data_ins_qor = '2024-03-02 12:00' WHERE msg_id = '5'");
        dialogs->answers << platform::ui::Answer::Yes;
        screen->ButtonScrieTotInQOR->click();
        QVERIFY2(dialogs->errors().isEmpty(), qPrintable(dialogs->errors().join("|")));
        // message 3 has its ERP document, message 5 its legacy mark: only message 1 is imported
        QCOMPARE(f->db.erp.scalar("SELECT string_agg(nr_doc, ',') FROM doc WHERE tip_doc = 'FF' AND nr_doc <> 'MANUAL3'"),
                 std::string("1"));
        QCOMPARE(f->db.erp.scalar("SELECT data_ins_qor FROM anaf_e_fact_msg_toate WHERE msg_id = '5'"),
                 std::string("2024-03-02 12:00:00"));
        QCOMPARE(f->db.erp.scalar("SELECT data_ins_qor FROM anaf_e_fact_msg_toate WHERE msg_id = '2'"),
                 std::string("2024-03-02 12:00:00"));

        // cancelled: nothing happens
        dialogs->answers << platform::ui::Answer::Cancel;
        screen->ButtonScrieTotInQOR->click();
        QCOMPARE(calls(), 2);  // MANUAL3 and the one import
    }

    void exportHasOnlyTheFilteredRowsWithRealDatesNumbersAndTheSum() {
        search(QDate(2024, 3, 1), QDate(2024, 3, 5));
        screen->cxGrid1->setColumnFilter("nr_doc_xml", "f");
        screen->cxGrid1->setColumnFilter("val_cu_tva_mon_xml", ".50");
        QCOMPARE(screen->cxGrid1->visibleRowCount(), 3);
        QCOMPARE(screen->cxGrid1->footerSum("val_cu_tva_mon_xml"), 100.5 + 301.5 + 502.5);
        const QString path = QDir::tempPath() + "/export-" + QString::number(getpid()) + ".xlsx";
        dialogs->fileNames << path;
        screen->ButtonExport->click();
        QVERIFY2(dialogs->errors().isEmpty(), qPrintable(dialogs->errors().join("|")));
        QCOMPARE(dialogs->messages().last(), "Fisierul a fost exportat in " + path);
        pugi::xml_document sheet;
        QVERIFY(sheet.load_string(zipEntry(path, "xl/worksheets/sheet1.xml").c_str()));
        const auto rows = sheet.select_nodes("//*[local-name()='row']");
        QCOMPARE(static_cast<int>(rows.size()), 1 + 3 + 1);  // header, rows, footer
        // data_creare (column A) is a date number with a date style, the total a number
        const auto a2 = sheet.select_node("//*[local-name()='c'][@r='A2']").node();
        QVERIFY(a2.attribute("t").empty());
        QVERIFY(QString(a2.child_value("v")).toDouble() > 45000);
        QVERIFY(!a2.attribute("s").empty());
        const auto m2 = sheet.select_node("//*[local-name()='c'][@r='M2']").node();
        QCOMPARE(QString(m2.child_value("v")).toDouble(), 502.5);
        const auto sum = sheet.select_node("//*[local-name()='c'][@r='M5']").node();
        QCOMPARE(QString(sum.child("f").child_value()), QStringLiteral("SUM(M2:M4)"));
        QCOMPARE(QString(sum.child_value("v")).toDouble(), 904.5);
        QFile::remove(path);

        // a folder that is not there: the system's reason, no file
        dialogs->fileNames << "/nonexistent-folder/x.xlsx";
        screen->ButtonExport->click();
        QVERIFY(dialogs->errors().last().contains("nonexistent-folder"));
    }
};

QTEST_MAIN(ImportScreenTest)
#include "import_screen_test.moc"
