// The SPV retrieval run end to end: the real client over HTTPS against the stand-in, the real
// database, in both access modes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/zip/zip_reader.h"
#include "support/retrieval_fixture.h"

using testsupport::CollectingLog;
using testsupport::RetrievalFixture;

namespace {

std::vector<std::string> listPages(const nlohmann::json& requests) {
    std::vector<std::string> pages;
    for (const auto& r : requests) {
        const std::string target = r["target"];
        const auto at = target.find("pagina=");
        if (target.find("listaMesajePaginatieFactura") != std::string::npos && at != std::string::npos)
            pages.push_back(target.substr(at + 7));
    }
    return pages;
}

int downloads(const nlohmann::json& requests) {
    int n = 0;
    for (const auto& r : requests) n += std::string(r["path"]).find("/descarcare") != std::string::npos;
    return n;
}

}  // namespace

class RetrievalRunBothModes : public ::testing::TestWithParam<bool> {};

TEST_P(RetrievalRunBothModes, StoresEveryMessageOnceAndASecondRunFetchesOnlyNewOnes) {
    const bool api = GetParam();
    testsupport::StandinOptions options;
    options.messages = 45;
    options.pageSize = 20;  // three pages
    RetrievalFixture f(options);
    CollectingLog log;
    EXPECT_EQ(f.run(api, log), 45);
    EXPECT_EQ(f.count(), "45");
    EXPECT_EQ(listPages(f.standin.requests()), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_TRUE(CollectingLog::has(log.summaryLines, "Nr. mesaje preluate = 45"));
    EXPECT_NE(log.summaryLines.back().find(" - Gata"), std::string::npos);
    for (const auto& r : f.standin.requests()) {
        const std::string role = r["role"];
        if (role == "timeapi") continue;
        EXPECT_EQ(role, api ? "api" : "cert");
        if (api) EXPECT_EQ(r["headers"]["Authorization"], "Bearer demo-access-token");
        else EXPECT_EQ(r["client_cert_serial"], "7A3F0001");
    }

    // byte-identical archive and both XML texts
    const auto row = f.db.erp.rows(
        "SELECT msg_id, msg_index_incarcare, encode(msg_zip, 'hex'), msg_factura_xml, msg_semnatura_xml"
        " FROM anaf_e_fact_msg_toate ORDER BY msg_id LIMIT 1")[0];
    const std::string file = std::string(TARVELO_BINARY_DIR) + "/retrieval-zip-" + (api ? "api" : "cert") + ".zip";
    int status = 0;
    std::string statusText, err;
    f.anaf->GetMesajToate("test", row[0], row[1], "", "", "", "", file, status, statusText, err);
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string hex;
    for (unsigned char c : bytes.str()) {
        static const char* digits = "0123456789abcdef";
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    EXPECT_TRUE(row[2] == hex) << "stored archive differs from the one served";
    const std::string zip = bytes.str();
    platform::zip::Archive archive({reinterpret_cast<const unsigned char*>(zip.data()), zip.size()});
    EXPECT_EQ(row[3], archive.readText(row[1] + ".xml"));
    EXPECT_EQ(row[4], archive.readText("semnatura_" + row[1] + ".xml"));

    // derived values and the older tables
    EXPECT_EQ(f.count("msg_tip = 'FACTURA PRIMITA' AND type_code_doc_xml IS NULL"), "0");
    EXPECT_EQ(f.db.erp.scalar("SELECT count(*) FROM anaf_e_fact_furn_msg"), f.count("msg_tip = 'FACTURA PRIMITA'"));

    // a second run downloads nothing
    f.standin.clearLog();
    CollectingLog second;
    EXPECT_EQ(f.run(api, second), 0);
    EXPECT_EQ(downloads(f.standin.requests()), 0);
    int zeroPages = 0;
    for (const auto& l : second.detailLines) zeroPages += l.find(" - nr. msj noi = 0") != std::string::npos;
    EXPECT_EQ(zeroPages, 3);
    EXPECT_TRUE(CollectingLog::has(second.summaryLines, "Nu sunt mesaje noi de preluat."));
    EXPECT_TRUE(CollectingLog::has(second.detailLines, "Nu sunt mesaje noi de preluat."));

    // messages that appear between two runs are the only ones fetched
    f.standin.addMessages(3);
    f.standin.clearLog();
    CollectingLog third;
    EXPECT_EQ(f.run(api, third), 3);
    EXPECT_EQ(downloads(f.standin.requests()), 3);
    EXPECT_EQ(f.count(), "48");
}

INSTANTIATE_TEST_SUITE_P(AccessModes, RetrievalRunBothModes, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "OAuth" : "Certificate"; });

TEST(RetrievalRun, APageThatReportsFewerPagesEndsTheRunThere) {
    testsupport::StandinOptions options;
    options.messages = 45;
    options.pageSize = 20;
    RetrievalFixture f(options);
    f.standin.fault({{"path", "/prod/FCTEL/rest/listaMesajePaginatieFactura"}, {"pages", 3}});
    f.standin.fault({{"path", "/prod/FCTEL/rest/listaMesajePaginatieFactura"}, {"pages", 2}});
    CollectingLog log;
    EXPECT_EQ(f.run(false, log), 40);
    EXPECT_EQ(listPages(f.standin.requests()), (std::vector<std::string>{"1", "2"}));
}

TEST(RetrievalRun, AFailedDownloadIsLoggedAndTheRunGoesOn) {
    RetrievalFixture f;
    f.standin.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 404}, {"body", "{}"}});
    CollectingLog log;
    EXPECT_EQ(f.run(false, log), 59);
    EXPECT_TRUE(CollectingLog::has(log.summaryLines, "(GetMesajToate) StatusCode=404"));
    EXPECT_TRUE(CollectingLog::has(log.summaryLines, "(GetMesajToate) StatusText=Not Found"));
    EXPECT_TRUE(CollectingLog::has(log.detailLines, "(GetMesajToate) StatusCode=404"));

    f.standin.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 429}, {"body", "{}"}});
    CollectingLog oauth;
    EXPECT_EQ(f.run(true, oauth), 0);  // the one left is refused
    EXPECT_TRUE(CollectingLog::has(
        oauth.summaryLines,
        "(GetMesajToateApi) Eroare =(GetMesajToateApi) Eroare : S-a depasit limita maxima de 100 de apeluri pe "
        "minut, stabilita de catre ANAF. Reluati descarcarea."));
    EXPECT_EQ(f.count(), "59");
    // offered again by the next run
    CollectingLog last;
    EXPECT_EQ(f.run(true, last), 1);
}

TEST(RetrievalRun, WithoutTheTimeServiceThePeriodEndsAMinuteBeforeTheClock) {
    RetrievalFixture f;
    f.standin.fault({{"path", "/api/Time"}, {"drop", true}});
    CollectingLog log;
    const auto before = std::chrono::system_clock::now();
    f.run(false, log);
    EXPECT_TRUE(CollectingLog::has(log.detailLines, "Eroare preluare DateTime API. Err = "));
    for (const auto& r : f.standin.requests()) {
        const std::string target = r["target"];
        const auto at = target.find("endTime=");
        if (at == std::string::npos) continue;
        const long long endMs = std::stoll(target.substr(at + 8));
        const long long nowMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(before.time_since_epoch()).count();
        EXPECT_NEAR(static_cast<double>(nowMs - endMs), 60000.0, 3000.0);
    }
}

TEST(RetrievalRun, AListErrorEndsTheRunWithItsTextAndSkipsTheRest) {
    RetrievalFixture f;
    f.standin.fault({{"path", "/prod/FCTEL/rest/listaMesajePaginatieFactura"}, {"eroare", "Nu aveti drept"}});
    CollectingLog log;
    try {
        f.run(false, log);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "(GetListaMesajeCuPag) Eroare=Nu aveti drept");
    }
    EXPECT_NE(log.detailLines.back().find(" - pagina 1, sfarsit"), std::string::npos);
    EXPECT_EQ(f.count(), "0");

    f.standin.fault({{"path", "/prod/FCTEL/rest/listaMesajePaginatieFactura"}, {"status", 200}, {"body", "nu json"}});
    EXPECT_THROW(f.run(true, log), std::runtime_error);
    f.standin.fault({{"path", "/prod/FCTEL/rest/listaMesajePaginatieFactura"}, {"status", 500}, {"body", "boom"}});
    try {
        f.run(true, log);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "(GetListaMesajeCuPagApi) StatusCode= 500. Eroare = boom");
    }
}
