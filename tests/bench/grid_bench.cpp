// Benchmark, not a test: the import screen's list with 100,000 stored supplier invoices: opening
// it, filtering it as the operator types, exporting it. Needs the sandbox PostgreSQL.
#include <sys/resource.h>

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <chrono>
#include <cstdio>

#include "platform/ui/grid/data_grid.h"
#include "screens/u_fSupplierInvoiceImport.h"
#include "support/dm_fixture.h"

namespace {
double since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}
double peakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}
}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testsupport::DmFixture f(false);
    f.erp.exec(
        "INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip, msg_index_incarcare, msg_detalii,"
        " msg_factura_xml, data_doc_xml, nr_doc_xml, type_code_doc_xml, partener_xml, val_cu_tva_mon_xml)"
        " SELECT to_char(timestamp '2024-03-01' + n * interval '20 seconds', 'YYYYMMDDHH24MI'), n::text, 'FACTURA PRIMITA',"
        " (5000000000 + n)::text, 'Factura cu id_incarcare=' || (5000000000 + n),"
        " '<Invoice xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Invoice-2\"><ID>F' || n || '</ID><IssueDate>2024-03-01</IssueDate></Invoice>',"
        " '2024-03-01', 'F' || n, '380', 'Furnizor ' || (n % 97), (n % 1000) + 0.5 FROM generate_series(1, 100000) n");
    TfSupplierInvoiceImport screen(*f.dm);
    screen.cxDateEditIncep->setDate(QDate(2024, 2, 28));
    screen.cxDateEditSfarsit->setDate(QDate(2024, 3, 31));
    auto t = std::chrono::steady_clock::now();
    screen.actions().search();
    std::printf("open the list: %d rows in %.2f s\n", screen.cxGrid1->visibleRowCount(), since(t));
    t = std::chrono::steady_clock::now();
    for (const char* typed : {"f", "fu", "fur", "furn", "furni", "furniz", "furnizor 4"})
        screen.cxGrid1->setColumnFilter("partener_xml", typed);
    std::printf("filter as typed, 7 keystrokes: %.3f s, %d rows left\n", since(t), screen.cxGrid1->visibleRowCount());
    screen.cxGrid1->setColumnFilter("partener_xml", "");
    t = std::chrono::steady_clock::now();
    screen.cxGrid1->setGroupColumns({"partener_xml"});
    std::printf("group 100,000 rows by supplier: %.2f s\n", since(t));
    screen.cxGrid1->setGroupColumns({});
    t = std::chrono::steady_clock::now();
    const QString path = QDir::tempPath() + "/grid-bench.xlsx";
    platform::ui::exportGridToXlsx(*screen.cxGrid1, path);
    std::printf("export %d rows: %.2f s, peak memory %.1f MiB\n", screen.cxGrid1->visibleRowCount(), since(t), peakMiB());
    QFile::remove(path);
    return 0;
}
