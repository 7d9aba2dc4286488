// Benchmark, not a test: a retrieval run fetching 10,000 new messages from the stand-in, then a
// run with nothing new over 100,000 stored messages. Needs the sandbox PostgreSQL (PGHOST/PGPORT
// or build/test-pg) and the test certificates (build/test-certs).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "support/retrieval_fixture.h"

namespace {

double peakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

struct QuietLog : retrieval::RunLog {
    void summary(const std::string&) override {}
    void detail(const std::string&) override {}
};

}  // namespace

int main() {
    testsupport::StandinOptions options;
    options.messages = 10000;
    testsupport::RetrievalFixture f(options);
    QuietLog log;
    auto t0 = std::chrono::steady_clock::now();
    const int fetched = f.run(false, log);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("run fetching %d new messages: %.1f s, %.0f messages/s, peak memory %.1f MiB\n", fetched, seconds,
                fetched / seconds, peakMiB());

    // fill up to 100,000 stored messages, then a run that finds nothing new
    f.db.erp.exec(
        "INSERT INTO anaf_e_fact_msg_toate (msg_data_creare, msg_id, msg_tip, msg_factura_xml, type_code_doc_xml,"
        " partener_xml) SELECT '2020' || lpad((n % 100000000)::text, 8, '0'), 'x' || n, 'FACTURA PRIMITA',"
        " '<Invoice/>', '380', 'p' FROM generate_series(1, 90000) n");
    f.db.erp.exec("ANALYZE");
    t0 = std::chrono::steady_clock::now();
    const int none = f.run(false, log);
    const double idle = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("run with nothing new (%d fetched) over %s stored messages: %.2f s\n", none, f.count().c_str(), idle);
    return 0;
}
