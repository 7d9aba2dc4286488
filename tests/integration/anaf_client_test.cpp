// The ANAF client over real HTTPS against the stand-in: certificate choice, bearer tokens, token
// operations, lists, downloads, PDF and time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>
#include <fstream>

#include "platform/memtable/mem_table.h"
#include "support/retrieval_fixture.h"

using testsupport::RetrievalFixture;
namespace fs = std::filesystem;

namespace {

// openssl's YYYYMMDDHHMMSSZ for a local time
std::string stampAt(platform::time::LocalDateTime local) {
    using namespace std::chrono;
    const std::time_t t = system_clock::to_time_t(platform::time::fromLocal(local));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%SZ", &tm);
    return buf;
}

std::string stamp(int daysFromNow) {
    using namespace std::chrono;
    return stampAt(floor<days>(platform::time::localNow()) + days{daysFromNow});
}

std::string lastSerial(const RetrievalFixture& f) {
    const auto r = f.standin.requests();
    return r.empty() ? "" : std::string(r.back()["client_cert_serial"]);
}

int listOnce(RetrievalFixture& f, std::string* content = nullptr) {
    int status = 0;
    std::string text, body;
    const auto now = platform::time::localNow();
    f.anaf->GetListaMesajeCuPag("prod", now - std::chrono::hours(24 * 60), now, "41801234", "1", status, text, body);
    if (content) *content = body;
    return status;
}

}  // namespace

TEST(AnafCertificate, TheFirstRegisteredCertificateValidTodayInStoreOrderIsPresented) {
    using namespace std::chrono;
    // "Later today" needs some of today left: close to midnight, wait for the new day.
    auto midnight = floor<days>(platform::time::localNow()) + days{1};
    if (midnight - platform::time::localNow() < minutes{3}) {
        std::this_thread::sleep_until(system_clock::now() + (midnight - platform::time::localNow()) + seconds{2});
        midnight = floor<days>(platform::time::localNow()) + days{1};
    }
    const auto left = midnight - platform::time::localNow();
    const auto endsToday = platform::time::localNow() + left / 2;          // still valid now
    const auto beginsLaterToday = platform::time::localNow() + left * 3 / 4;
    RetrievalFixture f;
    const std::string store = std::string(TARVELO_BINARY_DIR) + "/store-" + std::to_string(getpid());
    fs::remove_all(store);
    using testsupport::makeClientCertificate;
    // a-: registered twice (ambiguous); b-: begins later today; c-: not registered;
    // d-: ends later today (valid); e-: valid, registered, but after d- in store order
    makeClientCertificate(store, "a-twice", "7A3F0A01", stamp(-10), stamp(300));
    makeClientCertificate(store, "b-later-today", "7A3F0A02", stampAt(beginsLaterToday), stamp(300));
    makeClientCertificate(store, "c-unregistered", "7A3F0A03", stamp(-10), stamp(300));
    makeClientCertificate(store, "d-ends-today", "7A3F0A04", stamp(-10), stampAt(endsToday));
    makeClientCertificate(store, "e-valid", "7A3F0A05", stamp(-10), stamp(300));
    f.db.erp.exec("INSERT INTO digital_certif (serial_no) VALUES ('7A3F0A01'), ('7A3F0A01'), ('7A3F0A02'),"
                  " ('7A3F0A04'), ('7A3F0A05')");
    setenv("TARVELO_CERT_DIR", store.c_str(), 1);
    EXPECT_EQ(listOnce(f), 200);
    EXPECT_EQ(lastSerial(f), "7A3F0A04");

    fs::remove(store + "/d-ends-today.pem");
    EXPECT_EQ(listOnce(f), 200);
    EXPECT_EQ(lastSerial(f), "7A3F0A05");

    // a file that is not a certificate is skipped, not fatal
    std::ofstream(store + "/0-broken.pem") << "not a certificate";
    EXPECT_EQ(listOnce(f), 200);

    fs::remove(store + "/e-valid.pem");
    try {
        listOnce(f);
        FAIL() << "a request went out without a valid certificate";
    } catch (const AnafError& e) {
        EXPECT_STREQ(e.what(), "Nu exista nici un certificat valid");
    }
    setenv("TARVELO_CERT_DIR", (store + "/missing").c_str(), 1);
    EXPECT_THROW(listOnce(f), AnafError);
    fs::remove_all(store);
}

TEST(AnafOAuth, RequestsCarryTheStoredTokenAndAnUnmappedUserFailsBeforeAnyRequest) {
    RetrievalFixture f;
    int status = 0;
    std::string text, content;
    const auto now = platform::time::localNow();
    f.anaf->GetListaMesajeCuPagApi("prod", now - std::chrono::hours(1), now, "41801234", "1", status, text, content);
    EXPECT_EQ(f.standin.requests().back()["headers"]["Authorization"], "Bearer demo-access-token");

    f.db.erp.exec("UPDATE oauth2_client SET at = NULL WHERE cid = 'tarvelo-demo-client'");
    f.anaf->GetListaMesajeCuPagApi("prod", now - std::chrono::hours(1), now, "41801234", "1", status, text, content);
    EXPECT_EQ(status, 401);
    EXPECT_EQ(f.standin.requests().back()["headers"]["Authorization"], "Bearer");  // the server trims the blank

    f.db.erp.exec("UPDATE oauth2_client SET at = E'tok\\r\\nX-Injected: 1' WHERE cid = 'tarvelo-demo-client'");
    EXPECT_THROW(f.anaf->GetListaMesajeCuPagApi("prod", now, now, "41801234", "1", status, text, content), AnafError);

    f.standin.clearLog();
    f.db.dm->glUser = "ion.ionescu";
    try {
        f.anaf->GetMesajToateApi("prod", "1", "2", "", "", "", "", "", status, text, content);
        FAIL() << "no error";
    } catch (const AnafError& e) {
        EXPECT_STREQ(e.what(),
                     "Userul \"ion.ionescu\", nu are drepturi de acces la serviciul = \"eFact\" "
                     "(tabela oauth2_client_serviciu_em)");
    }
    EXPECT_TRUE(f.standin.requests().empty());
}

TEST(AnafTokens, RefreshRenewalGenerationAndTheTestCall) {
    RetrievalFixture f;
    f.db.central.exec("UPDATE oauth2_api_anaf_qor SET cbu = $1", {platform::pg::Value(f.standin.url("callback") + "/callback")});
    int status = 0;
    std::string text, content;
    f.anaf->RefreshTokenAnaf("ana.popescu", "eFact", status, text, content);
    EXPECT_EQ(status, 200);
    const auto tokens = f.db.erp.rows("SELECT at, rt FROM oauth2_client WHERE cid = 'tarvelo-demo-client'")[0];
    EXPECT_EQ(tokens[0].rfind("at-", 0), 0u);
    const auto form = f.standin.requests().back();
    EXPECT_EQ(form["body"],
              "response_type=token&client_id=tarvelo-demo-client&client_secret=demo-client-secret&"
              "refresh_token=demo-refresh-token&grant_type=refresh_token");

    // 200 without a refresh token: the message, nothing written
    f.standin.fault({{"path", "/anaf-oauth2/v1/token"}, {"status", 200}, {"body", R"({"access_token":"x"})"}});
    try {
        f.anaf->RefreshTokenAnaf("ana.popescu", "eFact", status, text, content);
        FAIL() << "no error";
    } catch (const AnafError& e) {
        EXPECT_STREQ(e.what(), "(RefreshTokenAnaf) - EROARE - In raspunsul ANAF nu s-a gasit RefreshToken");
    }
    EXPECT_EQ(f.db.erp.scalar("SELECT at FROM oauth2_client WHERE cid = 'tarvelo-demo-client'"), tokens[0]);

    // the whole authorization-code flow stores a new pair through renewal
    std::string at, rt;
    f.anaf->ReinnoireTokenAnaf("ana.popescu", "eFact", at, rt);
    EXPECT_FALSE(at.empty());
    EXPECT_EQ(f.db.erp.scalar("SELECT at || '/' || rt FROM oauth2_client WHERE cid = 'tarvelo-demo-client'"), at + "/" + rt);
    // the new token is accepted by the API host
    f.anaf->TestOAuthAnaf("eFact");
    EXPECT_EQ(f.standin.requests().back()["target"], "/TestOauth/jaxrs/hello?name=Test%20Hello%20App!");

    // an empty code: no tokens, no error, nothing written
    f.standin.fault({{"path", "/callback"}, {"status", 200}, {"body", "OK"}});
    f.standin.fault({{"path", "/callback"}, {"status", 200}, {"body", R"({"code":""})"}});
    f.anaf->ReinnoireTokenAnaf("ana.popescu", "eFact", at, rt);
    EXPECT_TRUE(at.empty() && rt.empty());

    // callback service down
    f.standin.fault({{"path", "/callback"}, {"status", 503}, {"body", "jos"}});
    try {
        f.anaf->GenerareTokenAnaf("c", "s", at, rt);
        FAIL() << "no error";
    } catch (const AnafError& e) {
        EXPECT_STREQ(e.what(), "(GenerareTokenAnaf) - EROARE - Nu functioneaza CallBack URL. Status Code = 503, content = jos");
    }
    // no secret: the message before any request
    f.db.erp.exec("UPDATE oauth2_client SET cs = NULL");
    f.standin.clearLog();
    try {
        f.anaf->ReinnoireTokenAnaf("ana.popescu", "eFact", at, rt);
        FAIL() << "no error";
    } catch (const AnafError& e) {
        EXPECT_STREQ(e.what(), "(ReinnoireTokenAnaf) - Nu aveti completat Client Secret in tabela \"oauth2_client\". ");
    }
    EXPECT_TRUE(f.standin.requests().empty());
    f.standin.fault({{"path", "/TestOauth"}, {"status", 403}, {"body", "nu"}});
    EXPECT_THROW(f.anaf->TestOAuthAnaf("eFact"), AnafError);
}

TEST(AnafLists, PagedListWireAndListParsing) {
    setenv("TZ", "Europe/Bucharest", 1);
    tzset();
    EXPECT_EQ(TfProcAnaf::epochMillisText(std::chrono::local_days{std::chrono::year{2024} / 3 / 1}), "1709244000000");
    RetrievalFixture f;
    int status = 0;
    std::string text, content;
    const platform::time::LocalDateTime start = std::chrono::local_days{std::chrono::year{2024} / 3 / 1};
    f.anaf->GetListaMesajeCuPag("prod", start, start + std::chrono::hours(24), "41801234", "1", status, text, content);
    EXPECT_EQ(f.standin.requests().back()["target"],
              "/prod/FCTEL/rest/listaMesajePaginatieFactura?startTime=1709244000000&endTime=1709330400000&cif=41801234&pagina=1");
    f.standin.fault({{"path", "/prod/FCTEL"}, {"status", 404}, {"body", "lipsa"}});
    f.anaf->GetListaMesajeCuPagApi("prod", start, start, "41801234", "1", status, text, content);
    EXPECT_EQ(status, 404);
    EXPECT_EQ(text, "Not Found");
    EXPECT_EQ(content, "lipsa");
    unsetenv("TZ");
    tzset();

    using platform::memtable::MemTable;
    const std::string page = R"({"mesaje":[{"data_creare":"1","cif":"2","id_solicitare":"3","detalii":"d","tip":"FACTURA PRIMITA","id":"9"},
        {"data_creare":"1","cif":"2","id_solicitare":"3","detalii":"d","tip":"factura primita","id":10},
        {"data_creare":"1","cif":"2","id_solicitare":"3","detalii":"d","tip":"ERORI FACTURA","id":"11"}]})";
    struct Case {
        std::string text, filter;
        int rows;
        std::string error;
    };
    const std::vector<Case> cases = {
        {page, "Furn", 1, ""},
        {page, "Client", 2, ""},
        {page, "Toate", 3, ""},
        {page, "toate", 0, ""},
        {R"({"mesaje":[]})", "Toate", 0, ""},
        {R"({"eroare":"Nu exista mesaje","Errors":[{"errorMessage":"x"}]})", "Toate", 0, "Nu exista mesaje"},
        {R"({"Errors":[{"errorMessage":"Token expirat"},{"errorMessage":"b"}]})", "Toate", 0, "Token expirat"},
        {R"({"Errors":[],"mesaje":[]})", "Toate", 0, ""},
        {"nu json", "Toate", 0, "(ListaMesajeToDs) Raspunsul ANAF nu este un obiect JSON."},
        {R"({"titlu":"x"})", "Toate", 0, "(ListaMesajeToDs) Raspunsul ANAF nu contine lista \"mesaje\"."},
        {R"({"mesaje":[{"data_creare":"1","cif":"2","id_solicitare":"3","detalii":"d","tip":"T","id":"1"},{"tip":"T"}]})",
         "Toate", 1, "(ListaMesajeToDs) Mesajul din lista nu are campul \"data_creare\"."},
    };
    for (const auto& c : cases) {
        MemTable ds({{"data_creare", 50}, {"cif", 50}, {"id_solicitare", 50}, {"detalii", 1000}, {"tip", 50}, {"id", 50}});
        std::string error;
        try {
            TfProcAnaf::ListaMesajeToDs(c.text, c.filter, ds);
        } catch (const AnafError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error) << c.text << " / " << c.filter;
        EXPECT_EQ(ds.rowCount(), c.rows) << c.text << " / " << c.filter;
    }
    MemTable twice({{"data_creare", 50}, {"cif", 50}, {"id_solicitare", 50}, {"detalii", 1000}, {"tip", 50}, {"id", 50}});
    TfProcAnaf::ListaMesajeToDs(page, "Toate", twice);
    TfProcAnaf::ListaMesajeToDs(page, "Toate", twice);
    EXPECT_EQ(twice.rowCount(), 6);
    EXPECT_EQ(twice.value(1, "id"), "10");
}

TEST(AnafDownload, FamiliesStoreWhatTheyShouldAndFailClearly) {
    RetrievalFixture f;
    const auto added = f.standin.addMessages(2);
    const std::string id1 = added[0]["id"], index1 = added[0]["id_solicitare"];
    const std::string id2 = added[1]["id"], index2 = added[1]["id_solicitare"];
    f.standin.clearLog();
    int status = 0;
    std::string text, err;
    auto toate = [&](bool api, const std::string& mod, const std::string& file = "") {
        if (api) f.anaf->GetMesajToateApi(mod, id1, index1, "41801234", "d", "FACTURA PRIMITA",
                                          "202401010000", file, status, text, err);
        else f.anaf->GetMesajToate(mod, id1, index1, "41801234", "d", "FACTURA PRIMITA",
                                   "202401010000", file, status, text, err);
    };
    auto expectError = [&](const std::function<void()>& call, const std::string& message) {
        try {
            call();
            ADD_FAILURE() << "no error, expected " << message;
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    };
    // "test" with three entries and a file: only the file
    const std::string file = std::string(TARVELO_BINARY_DIR) + "/download-" + std::to_string(getpid()) + ".zip";
    f.standin.fault({{"path", "/test/FCTEL/rest/descarcare"}, {"zip", "three"}});
    toate(false, "test", file);
    EXPECT_EQ(status, 200);
    EXPECT_GT(fs::file_size(file), 100u);
    EXPECT_EQ(f.count(), "0");
    fs::remove(file);

    toate(false, "prod");
    EXPECT_EQ(err, "");
    EXPECT_EQ(f.count(), "1");
    toate(true, "prod");  // the same message again: one row, the database's duplicate-key text
    EXPECT_EQ(status, 200);
    EXPECT_NE(err.find("duplicate key value violates unique constraint"), std::string::npos);
    EXPECT_EQ(f.count(), "1");

    f.db.erp.exec("DELETE FROM anaf_e_fact_msg_toate");
    f.standin.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"zip", "one"}});
    expectError([&] { toate(false, "prod"); },
                "Eroare in procedura GetMesajToate, fisierul zip trebuie sa aiba 2 fisiere. Nr. Fisiere=1");
    f.standin.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 200}, {"body", R"({"eroare":"limita"})"}});
    expectError([&] { toate(false, "prod"); }, R"((GetMesajToate) Content = {"eroare":"limita"})");
    f.standin.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 200}, {"contentType", "text/html"}, {"body", "<p>"}});
    expectError([&] { toate(true, "prod"); }, "(GetMesajToateApi) ContentType necunoscut. ContentType= text/html");
    f.standin.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"zip", "corrupt"}});
    EXPECT_THROW(toate(false, "prod"), AnafError);
    EXPECT_EQ(f.count(), "0");

    // 403 and 429: returned in certificate mode, raised in OAuth mode and by GetMesaj
    f.standin.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 429}, {"body", "{}"}});
    toate(false, "prod");
    EXPECT_EQ(status, 429);
    f.standin.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 403}, {"body", "{}"}});
    expectError([&] { toate(true, "prod"); }, "(GetMesajToateApi) Eroare : Apelul nu a fost autorizat de catre ANAF");
    f.standin.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 429}, {"body", "{}"}});
    expectError([&] { f.anaf->GetMesaj("prod", id1, index1, "", "", "", "", status, text); },
                "(GetMesaj) Eroare : S-a depasit limita maxima de 100 de apeluri pe minut, stabilita de catre ANAF. "
                "Reluati descarcarea.");

    // a failing stored function leaves the row and an empty error
    f.db.erp.exec("CREATE OR REPLACE FUNCTION o_anaf_e_fact_msg_ins(pidmesaj text, pindexincarcare text, pmesaj text,"
                  " pmesajdetalii text, pmesajtip text, pmesajsemnatura text, pmesajdata text, pmesajzip bytea)"
                  " RETURNS void LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'stricat'; END $$");
    toate(false, "prod");
    EXPECT_EQ(err, "");
    EXPECT_EQ(f.count(), "1");

    // empty id: before any request (after the token in OAuth mode)
    f.standin.clearLog();
    expectError([&] { f.anaf->GetMesajToateApi("prod", "", "1", "", "", "", "", "", status, text, err); },
                "Id mesaj este null (trebuie sa aveti mesaje in tabela \"Lista Mesaje\").");
    EXPECT_TRUE(f.standin.requests().empty());

    // supplier family: only on request, duplicate into errLaINS
    f.anaf->GetMesajFurn("prod", id2, index2, "41801234", "d", "FACTURA PRIMITA", "202401010001", "",
                         false, status, text, err);
    EXPECT_EQ(f.db.erp.scalar("SELECT count(*) FROM anaf_e_fact_furn_msg"), "0");
    f.anaf->GetMesajFurnApi("prod", id2, index2, "41801234", "d", "FACTURA PRIMITA", "202401010001",
                            "", true, status, text, err);
    EXPECT_EQ(err, "");
    f.anaf->GetMesajFurn("prod", id2, index2, "41801234", "d", "FACTURA PRIMITA", "202401010001", "",
                         true, status, text, err);
    EXPECT_NE(err.find("duplicate key"), std::string::npos);
    EXPECT_EQ(f.db.erp.scalar("SELECT count(*) FROM anaf_e_fact_furn_msg WHERE msg_xml IS NOT NULL"), "1");
}

TEST(AnafPdfAndTime, RendersIntoTheCommonFolderAndReadsTheTime) {
    RetrievalFixture f;
    const std::string folder = std::string(TARVELO_BINARY_DIR) + "/common-" + std::to_string(getpid());
    setenv("TARVELO_COMMON_DATA_DIR", folder.c_str(), 1);
    std::string file;
    f.anaf->Transformare_xml_eFact_pdf("<Invoice/>", "5001", "CreditNote", file);
    EXPECT_EQ(file, folder + "/5001.pdf");
    EXPECT_EQ(f.standin.requests().back()["path"], "/prod/FCTEL/rest/transformare/FCN/DA");
    const auto first = fs::last_write_time(file);
    f.anaf->Transformare_xml_eFact_pdfApi("<Invoice/>", "5001", "Invoice", file);
    EXPECT_EQ(f.standin.requests().back()["path"], "/prod/FCTEL/rest/transformare/FACT1");
    EXPECT_GE(fs::last_write_time(file), first);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    std::ifstream pdf(file, std::ios::binary);
    std::string head(5, '\0');
    pdf.read(head.data(), 5);
    EXPECT_EQ(head, "%PDF-");

    f.standin.fault({{"path", "/prod/FCTEL/rest/transformare"}, {"status", 200}, {"body", R"({"stare":"nok"})"}});
    try {
        f.anaf->Transformare_xml_eFact_pdf("<Invoice/>", "5002", "Invoice", file);
        FAIL() << "no error";
    } catch (const AnafError& e) {
        EXPECT_STREQ(e.what(), R"((Transformare_xml_eFact_pdf) EROARE - content={"stare":"nok"})");
    }
    EXPECT_TRUE(file.empty());
    for (const std::string bad : {"../evil", "a/b", "..", "x\\y"})
        EXPECT_THROW(f.anaf->Transformare_xml_eFact_pdf("<Invoice/>", bad, "Invoice", file), AnafError) << bad;
    fs::remove_all(folder);

    platform::time::LocalDateTime t{};
    f.anaf->GetDateTime_Timeapi(t);
    EXPECT_LT(std::chrono::abs(t - platform::time::localNow()), std::chrono::seconds(5));
    const platform::time::LocalDateTime kept{};
    for (const nlohmann::json& fault : {nlohmann::json{{"path", "/api/Time"}, {"status", 500}, {"body", "x"}},
                                        nlohmann::json{{"path", "/api/Time"}, {"status", 200}, {"body", R"({"time":"x"})"}},
                                        nlohmann::json{{"path", "/api/Time"}, {"status", 200}, {"body", R"({"dateTime":"2024-13-01T00:00:00"})"}}}) {
        f.standin.fault(fault);
        t = kept;
        f.anaf->GetDateTime_Timeapi(t);
        EXPECT_EQ(t, kept) << fault.dump();
    }
    std::string shown;
    f.anaf->onMessage = [&](const std::string& s) { shown = s; };
    f.anaf->GetDateTime_Worldtimeapi(t);
    EXPECT_EQ(shown.rfind("worldtimeapi = ", 0), 0u);
}

TEST(Iso8601, ReadsValuesWithAndWithoutZoneAndFraction) {
    using namespace std::chrono;
    const auto at = [](int h, int m, int s, int us = 0) {
        return platform::time::LocalDateTime{local_days{year{2024} / 3 / 5}} + hours{h} + minutes{m} + seconds{s} +
               microseconds{us};
    };
    EXPECT_EQ(parseIso8601("2024-03-05T14:27:33.1234567"), at(14, 27, 33, 123456));
    EXPECT_EQ(parseIso8601("2024-03-05T14:27:33"), at(14, 27, 33));
    EXPECT_EQ(parseIso8601("2024-03-05T14:27:33Z"), at(14, 27, 33));
    EXPECT_EQ(parseIso8601("2024-03-05T14:27:33.5+02:00"), at(12, 27, 33, 500000));
    EXPECT_EQ(parseIso8601("2024-03-05T01:00:00-0130"), at(2, 30, 0));
    for (const char* bad : {"", "2024-03-05", "2024-02-30T00:00:00", "2024-03-05T14:27:33+xx", "05.03.2024 14:27"})
        EXPECT_FALSE(parseIso8601(bad).has_value()) << bad;
}
