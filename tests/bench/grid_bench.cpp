// Benchmark, not a test: the shared grid over 100,000 rows shaped like the supplier-invoice list
// (15 columns: times, dates, texts, an amount). Prints the time to open the query and load the
// grid, to filter as the operator types, to sort and to group, and the time and memory of the
// .xlsx export. Needs the sandbox PostgreSQL (PGHOST/PGPORT, or the ctest fixture's).
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "platform/ui/grid/data_grid.h"
#include "support/test_database.h"

namespace {

using Clock = std::chrono::steady_clock;
using Format = platform::ui::GridColumn::Format;

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

double peakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

// Runs what the window would do after a change (layout, paint) before the clock stops.
void settle() { QApplication::processEvents(); }

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kRows = 100000;
    testsupport::TestDatabase db;
    db.exec(
        "CREATE TABLE lista (msg_data_creare text, msg_id text, msg_index_incarcare text, partener_xml text,"
        " data_doc_xml date, nr_doc_xml text, data_doc_qor date, nr_doc_qor text, data_ins_qor timestamp, obs_msg text,"
        " err_ins_qor text, type_code_doc_xml text, val_cu_tva_mon_xml numeric, err_xml text, msg_detalii text,"
        " msg_data_creare_d timestamp, PRIMARY KEY (msg_data_creare, msg_id));"
        "INSERT INTO lista SELECT to_char(t, 'YYYYMMDDHH24MI'), n::text, (5000000000 + n)::text,"
        " CASE WHEN n % 7 = 0 THEN 'S.C. \u0218antierul ' ELSE 'Furnizor ' END || (n % 97) || ' SRL', t::date, 'F' || n,"
        " CASE WHEN n % 3 = 0 THEN t::date END, CASE WHEN n % 3 = 0 THEN 'D' || n END, CASE WHEN n % 5 = 0 THEN t END,"
        " CASE WHEN n % 11 = 0 THEN 'verificat de contabilitate' END, NULL, CASE WHEN n % 13 = 0 THEN '381' ELSE '380' END,"
        " (n % 1000) + 0.5, NULL, 'Factura cu id_incarcare=' || (5000000000 + n) || ' emisa de cif_emitent=' || (n % 97),"
        " t FROM (SELECT n, timestamp '2024-01-01' + n * interval '5 minutes' AS t FROM generate_series(1, " +
        std::to_string(kRows) + ") n) s");

    platform::pg::Connection connection;
    connection.settings() = db.settings();
    platform::pg::Query list(connection, "SELECT * FROM lista ORDER BY msg_data_creare DESC, msg_id DESC");
    list.setUpdateTable("lista", {"msg_data_creare", "msg_id"});
    std::printf("grid benchmark, %d rows x 15 columns\n", kRows);

    const double before = residentMiB();
    auto t = Clock::now();
    list.open();
    std::printf("  query open (statement and value rows):      %8.0f ms\n", msSince(t));
    const double afterQuery = residentMiB();

    platform::ui::DataGrid grid;
    grid.resize(1200, 700);
    grid.show();
    settle();
    t = Clock::now();
    grid.setQuery(&list, {{"msg_data_creare_d", "data_creare", Format::DateTime},
                          {"msg_id", "id"},
                          {"msg_index_incarcare", "index_incarcare"},
                          {"partener_xml"},
                          {"data_doc_xml"},
                          {"nr_doc_xml"},
                          {"data_doc_qor"},
                          {"nr_doc_qor"},
                          {"data_ins_qor", "", Format::DateTime},
                          {"obs_msg", "", Format::Auto, true, false, true},
                          {"err_ins_qor"},
                          {"type_code_doc_xml", "cod_fact_xml"},
                          {"val_cu_tva_mon_xml", "", Format::Number, false, true},
                          {"err_xml"},
                          {"msg_detalii"}});
    settle();
    std::printf("  grid load (filter text, sums, first paint): %8.0f ms\n", msSince(t));
    std::printf("  memory: query rows %.0f MiB, grid %.0f MiB\n", afterQuery - before, residentMiB() - afterQuery);

    t = Clock::now();
    grid.reload();
    settle();
    std::printf("  reload after a refresh:                     %8.0f ms\n", msSince(t));

    double slowest = 0, total = 0;
    for (const char* typed : {"f", "fu", "fur", "furn", "furni", "furniz", "furnizor 4"}) {
        const auto k = Clock::now();
        grid.setColumnFilter("partener_xml", QString::fromUtf8(typed));
        settle();
        const double ms = msSince(k);
        slowest = std::max(slowest, ms);
        total += ms;
    }
    std::printf("  filter as typed, 7 keystrokes:              %8.0f ms in all, %.0f ms the slowest, %d rows left\n",
                total, slowest, grid.visibleRowCount());
    t = Clock::now();
    grid.setColumnFilter("msg_detalii", QStringLiteral("CIF_EMITENT=4"));
    settle();
    std::printf("  a second column's filter on top:           %8.0f ms, %d rows left\n", msSince(t), grid.visibleRowCount());
    t = Clock::now();
    grid.clearFilters();
    settle();
    std::printf("  filters cleared:                            %8.0f ms\n", msSince(t));

    t = Clock::now();
    grid.sortBy("partener_xml", Qt::AscendingOrder);
    settle();
    std::printf("  first sort by a text column (collation):    %8.0f ms\n", msSince(t));
    t = Clock::now();
    grid.sortBy("partener_xml", Qt::DescendingOrder);
    settle();
    std::printf("  sort again, other way:                      %8.0f ms\n", msSince(t));
    t = Clock::now();
    grid.sortBy("val_cu_tva_mon_xml", Qt::AscendingOrder);
    settle();
    std::printf("  sort by the amount:                         %8.0f ms\n", msSince(t));
    t = Clock::now();
    grid.setGroupColumns({"type_code_doc_xml", "partener_xml"});
    settle();
    std::printf("  group by type code and supplier:            %8.0f ms, %zu groups\n", msSince(t), grid.groupLayout().groups.size());
    t = Clock::now();
    grid.setColumnFilter("obs_msg", QStringLiteral("verificat"));
    settle();
    std::printf("  filter while grouped:                       %8.0f ms, %d rows left\n", msSince(t), grid.visibleRowCount());
    grid.clearFilters();

    const QString path = QDir::tempPath() + QStringLiteral("/grid-bench-%1.xlsx").arg(QApplication::applicationPid());
    const double peakBefore = peakMiB();
    const double residentBefore = residentMiB();
    t = Clock::now();
    platform::ui::exportGridToXlsx(grid, path);
    std::printf("  export grouped, %d rows:                 %8.0f ms, %.1f MiB file\n", grid.visibleRowCount(), msSince(t),
                static_cast<double>(QFileInfo(path).size()) / (1024.0 * 1024.0));
    grid.setGroupColumns({});
    settle();
    t = Clock::now();
    platform::ui::exportGridToXlsx(grid, path);
    std::printf("  export plain, %d rows:                   %8.0f ms\n", grid.visibleRowCount(), msSince(t));
    std::printf("  memory: %.0f MiB resident before the exports, peak %.0f MiB before and %.0f MiB after them\n",
                residentBefore, peakBefore, peakMiB());
    t = Clock::now();
    grid.setGroupColumns({"msg_id"});
    settle();
    std::printf("  group by a column of unique values:         %8.0f ms, %zu groups\n", msSince(t), grid.groupLayout().groups.size());
    QFile::remove(path);
    return 0;
}
