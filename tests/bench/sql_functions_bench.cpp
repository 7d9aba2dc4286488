// Benchmark, not a test: the ERP functions that run per list page and per stored invoice.
// o_efact_umplu_msg over 100,000 stored messages, and o_e_fact_read_xml over a sample invoice.
// Needs the sandbox PostgreSQL (PGHOST/PGPORT or build/test-pg).
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/pg/value.h"
#include "support/test_data.h"
#include "support/test_database.h"

namespace {

template <typename F>
double seconds(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// One list page of 500 messages, as SPV pages them; `offset` picks which stored ones it lists.
std::string pageSql(int offset, bool fresh) {
    return "SELECT o_efact_umplu_msg(json_build_object('mesaje', json_agg(json_build_object("
           " 'data_creare', to_char(timestamp '2024-01-01' + n * interval '1 minute', 'YYYYMMDDHH24MI'),"
           " 'id', " + std::string(fresh ? "'nou' || n" : "n::text") + ", 'cif', '41801234', 'id_solicitare', n::text,"
           " 'detalii', 'Factura cu id_incarcare=' || n, 'tip', 'FACTURA PRIMITA')))::text)"
           " FROM generate_series(" + std::to_string(offset) + ", " + std::to_string(offset + 499) + ") n";
}

}  // namespace

int main() {
    testsupport::TestDatabase db;
    db.exec("INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip)"
            " SELECT to_char(timestamp '2024-01-01' + n * interval '1 minute', 'YYYYMMDDHH24MI'), n::text,"
            " 'FACTURA PRIMITA' FROM generate_series(1, 100000) n");
    db.exec("ANALYZE anaf_e_fact_msg_toate");

    const int pages = 20;
    for (const bool fresh : {false, true}) {
        const double s = seconds([&] {
            for (int p = 0; p < pages; ++p) db.exec(pageSql(1 + p * 4000, fresh));
        });
        std::printf("o_efact_umplu_msg, page of 500 %s, 100,000 stored: %.1f ms per page (%s left)\n",
                    fresh ? "all new" : "all held", 1000.0 * s / pages,
                    db.scalar("SELECT count(*) FROM temp_lista_mesaje").c_str());
    }

    const platform::pg::Value invoice(testsupport::sample("eInvoice_ex.xml"));
    const int reads = 500;
    const double s = seconds([&] {
        db.exec("SELECT count(err_xml) FROM generate_series(1, " + std::to_string(reads) +
                    ") n, o_e_fact_read_xml($1 || repeat(' ', n % 2))",
                {invoice});
    });
    std::printf("o_e_fact_read_xml, 41 kB invoice with 35 lines: %.2f ms per invoice\n", 1000.0 * s / reads);
    return 0;
}
