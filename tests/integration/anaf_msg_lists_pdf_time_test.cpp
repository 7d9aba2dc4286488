// Message lists on the wire, the PDF transformation into the user's folder and the two time
// services, over real HTTPS against the stand-in.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/time/local_text.h"
#include "support/retrieval_fixture.h"

using testsupport::RetrievalFixture;
using platform::time::LocalDateTime;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {

const std::string kNone = "<no error>";

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return kNone;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

LocalDateTime at(int y, unsigned mo, unsigned d, int h, int mi, int s, int us = 0) {
    return LocalDateTime{local_days{year{y} / mo / d}} + hours{h} + minutes{mi} + seconds{s} + microseconds{us};
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old, had_ = true;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
        if (name_ == "TZ") tzset();
    }
    ~ScopedEnv() {
        if (had_) setenv(name_.c_str(), previous_.c_str(), 1);
        else unsetenv(name_.c_str());
        if (name_ == "TZ") tzset();
    }

private:
    std::string name_, previous_;
    bool had_ = false;
};

std::string scratch(const std::string& name) {
    const std::string dir = std::string(TARVELO_BINARY_DIR) + "/" + name + "-" + std::to_string(getpid());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

}  // namespace

TEST(AnafMsgLists, EachListRequestGoesOutAsWrittenAndAnyStatusIsReturned) {
    ScopedEnv zone("TZ", "Europe/Bucharest");
    RetrievalFixture f;
    const LocalDateTime start = at(2024, 3, 1, 0, 0, 0);
    const LocalDateTime end = at(2024, 3, 1, 23, 59, 59, 900000);  // the fraction is dropped
    int status = 0;
    std::string text = "stale", content = "stale";
    const struct {
        const char* name;
        std::function<void()> call;
        const char* role;
        const char* target;
    } cases[] = {
        {"GetListaMesaje", [&] { f.anaf->GetListaMesaje("prod", "60", "41801234", status, text, content); }, "cert",
         "/prod/FCTEL/rest/listaMesajeFactura?zile=60&cif=41801234"},
        {"GetListaMesajeApi", [&] { f.anaf->GetListaMesajeApi("prod", "3", "41801234", status, text, content); }, "api",
         "/prod/FCTEL/rest/listaMesajeFactura?zile=3&cif=41801234"},
        {"GetListaMesajeCuPag",
         [&] { f.anaf->GetListaMesajeCuPag("prod", start, end, "41801234", "2", status, text, content); }, "cert",
         "/prod/FCTEL/rest/listaMesajePaginatieFactura?startTime=1709244000000&endTime=1709330399000&cif=41801234&pagina=2"},
        {"GetListaMesajeCuPagApi",
         [&] { f.anaf->GetListaMesajeCuPagApi("test", start, end, "41801234", "1", status, text, content); }, "api",
         "/test/FCTEL/rest/listaMesajePaginatieFactura?startTime=1709244000000&endTime=1709330399000&cif=41801234&pagina=1"},
    };
    for (const auto& c : cases) {
        f.standin.clearLog();
        EXPECT_EQ(errorOf(c.call), kNone) << c.name;
        const auto requests = f.standin.requests();
        ASSERT_EQ(requests.size(), 1u) << c.name;
        const auto& r = requests[0];
        EXPECT_EQ(r["method"], "GET") << c.name;
        EXPECT_EQ(r["role"], c.role) << c.name;
        EXPECT_EQ(r["target"], c.target) << c.name;
        if (std::string(c.role) == "api") {
            EXPECT_EQ(r["headers"]["Authorization"], "Bearer demo-access-token") << c.name;
            EXPECT_EQ(r["headers"]["Accept"], "application/json") << c.name;
        } else {
            EXPECT_FALSE(r["headers"].contains("Authorization")) << c.name;
            EXPECT_EQ(r["headers"].value("User-Agent", ""), "") << c.name;
            EXPECT_EQ(r["client_cert_serial"], "7A3F0001") << c.name;
        }

        // 404 and an error answer come back through the out-parameters, never raised
        f.standin.fault({{"path", "/"}, {"status", 404}, {"body", "lipsa"}});
        EXPECT_EQ(errorOf(c.call), kNone) << c.name;
        EXPECT_EQ(status, 404) << c.name;
        EXPECT_EQ(text, "Not Found") << c.name;
        EXPECT_EQ(content, "lipsa") << c.name;
        f.standin.fault({{"path", "/"}, {"eroare", "Nu exista mesaje in intervalul selectat"}});
        EXPECT_EQ(errorOf(c.call), kNone) << c.name;
        EXPECT_EQ(status, 200) << c.name;
        EXPECT_NE(content.find("Nu exista mesaje in intervalul selectat"), std::string::npos) << c.name;
    }
    // a real page reads back into rows
    f.anaf->GetListaMesajeCuPagApi("prod", platform::time::localNow() - hours(24 * 60), platform::time::localNow(),
                                   "41801234", "1", status, text, content);
    ASSERT_EQ(status, 200);
    platform::memtable::MemTable ds({{"data_creare", 50}, {"cif", 50}, {"id_solicitare", 50}, {"detalii", 1000},
                                     {"tip", 50}, {"id", 50}});
    TfProcAnaf::ListaMesajeToDs(content, "Toate", ds);
    EXPECT_EQ(ds.rowCount(), 60);
}

TEST(AnafMsgPdf, RendersIntoTheUsersOwnFolderReplacingTheFileNeverFollowingALink) {
    RetrievalFixture f;
    const std::string home = scratch("pdf-home");
    ScopedEnv common("TARVELO_COMMON_DATA_DIR", nullptr);
    ScopedEnv data("XDG_DATA_HOME", home.c_str());
    const std::string folder = home + "/tarvelo/pdf";
    std::string file = "stale";

    const std::string xml = "<Invoice>Țară și preț</Invoice>";
    f.anaf->Transformare_xml_eFact_pdf(xml, "7001", "Invoice", file);
    EXPECT_EQ(file, folder + "/7001.pdf");
    EXPECT_EQ(readFile(file).rfind("%PDF-", 0), 0u);
    struct stat st{};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const auto request = f.standin.requests().back();
    EXPECT_EQ(request["role"], "public");
    EXPECT_EQ(request["method"], "POST");
    EXPECT_EQ(request["body"], xml);
    EXPECT_EQ(std::string(request["headers"]["Content-Type"]).rfind("text/plain", 0), 0u);
    EXPECT_FALSE(request["headers"].contains("Authorization"));

    // A link planted under the name is replaced; what it pointed to stays as it was.
    const std::string victim = home + "/victim.txt";
    std::ofstream(victim) << "nu se atinge";
    fs::create_symlink(victim, folder + "/7002.pdf");
    f.anaf->Transformare_xml_eFact_pdfApi(xml, "7002", "CreditNote", file);
    EXPECT_EQ(f.standin.requests().back()["target"], "/prod/FCTEL/rest/transformare/FCN");
    EXPECT_EQ(readFile(victim), "nu se atinge");
    EXPECT_FALSE(fs::is_symlink(folder + "/7002.pdf"));
    EXPECT_EQ(readFile(folder + "/7002.pdf").rfind("%PDF-", 0), 0u);

    // An empty index names ".pdf"; nothing else is left in the folder.
    f.anaf->Transformare_xml_eFact_pdf(xml, "", "Invoice", file);
    EXPECT_EQ(file, folder + "/.pdf");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".pdf", "7001.pdf", "7002.pdf"}));
    fs::remove_all(home);
}

TEST(AnafMsgPdf, FailuresRaiseTheirTextAndReturnNoFile) {
    RetrievalFixture f;
    const std::string folder = scratch("pdf-fail");
    ScopedEnv common("TARVELO_COMMON_DATA_DIR", folder.c_str());
    std::string file;
    const auto render = [&](bool api, const std::string& index, const std::string& kind) {
        return [&, api, index, kind] {
            file = "stale";
            if (api) f.anaf->Transformare_xml_eFact_pdfApi("<Invoice/>", index, kind, file);
            else f.anaf->Transformare_xml_eFact_pdf("<Invoice/>", index, kind, file);
        };
    };
    const std::string transform = "/prod/FCTEL/rest/transformare";

    f.standin.fault({{"path", transform}, {"status", 500}, {"body", "eroare interna"}});
    EXPECT_EQ(errorOf(render(false, "1", "Invoice")),
              "(Transformare_xml_eFact_pdf) EROARE - XML-ul nu s-a putut transforma in PDF. StatusCode =  500, "
              "content = eroare interna");
    EXPECT_EQ(file, "");
    f.standin.fault({{"path", transform}, {"status", 200}, {"contentType", "text/xml"}, {"body", "<Eroare/>"}});
    EXPECT_EQ(errorOf(render(true, "1", "Invoice")), "(Transformare_xml_eFact_pdfApi) EROARE - content=<Eroare/>");
    EXPECT_EQ(file, "");

    // A kind other than the two goes out with an empty path segment.
    f.standin.fault({{"path", transform}, {"status", 404}, {"body", ""}});
    EXPECT_EQ(errorOf(render(false, "1", "invoice")),
              "(Transformare_xml_eFact_pdf) EROARE - XML-ul nu s-a putut transforma in PDF. StatusCode =  404, "
              "content = ");
    EXPECT_EQ(f.standin.requests().back()["target"], "/prod/FCTEL/rest/transformare//DA");

    // An index that would name a file outside the folder, or a user without a token: no request.
    f.standin.clearLog();
    for (const std::string& bad : std::vector<std::string>{"../7001", "/tmp/7001", "a\\b", std::string("7001\0x", 6)})
        EXPECT_EQ(errorOf(render(false, bad, "Invoice")).rfind("(Transformare_xml_eFact_pdf) EROARE - index", 0), 0u)
            << bad;
    f.db.dm->glUser = "ion.ionescu";
    EXPECT_EQ(errorOf(render(true, "1", "Invoice")),
              "Userul \"ion.ionescu\", nu are drepturi de acces la serviciul = \"eFact\" "
              "(tabela oauth2_client_serviciu_em)");
    EXPECT_TRUE(f.standin.requests().empty());
    EXPECT_TRUE(fs::is_empty(folder));

    // A folder that cannot be made: the error, no file name.
    std::ofstream(folder + "/not-a-folder") << "x";
    ScopedEnv blocked("TARVELO_COMMON_DATA_DIR", (folder + "/not-a-folder/pdf").c_str());
    const std::string error = errorOf(render(false, "1", "Invoice"));
    EXPECT_EQ(error.rfind("(Transformare_xml_eFact_pdf) EROARE - nu se poate scrie fisierul ", 0), 0u) << error;
    EXPECT_EQ(file, "");
    fs::remove_all(folder);
}

TEST(AnafMsgTime, OnlyAGoodAnswerChangesTheValue) {
    RetrievalFixture f;
    const LocalDateTime kept = at(2000, 1, 1, 0, 0, 0);
    LocalDateTime t = kept;
    f.anaf->GetDateTime_Timeapi(t);
    EXPECT_LT(abs(t - platform::time::localNow()), seconds(5));
    EXPECT_EQ(f.standin.requests().back()["target"], "/api/Time/current/zone?timeZone=Europe/Bucharest");

    const struct {
        const char* body;
        int status;
        LocalDateTime expected;
    } cases[] = {
        {R"({"dateTime":"2024-03-01T12:00:00.1234567","timeZone":"Europe/Bucharest"})", 200, at(2024, 3, 1, 12, 0, 0, 123456)},
        {R"({"dateTime":"2024-03-01T12:00:00+02:00"})", 200, at(2024, 3, 1, 10, 0, 0)},
        {R"({"dateTime":"2024-03-01T12:00:00"})", 404, kept},
        {R"({"dateTime":"2024-03-01T12:00:00"})", 500, kept},
        {R"({"datetime":"2024-03-01T12:00:00"})", 200, kept},  // the other service's member
        {R"({"dateTime":""})", 200, kept},
        {R"({"dateTime":20240301120000})", 200, kept},
        {R"({"dateTime":"01.03.2024 12:00"})", 200, kept},
        {R"(["2024-03-01T12:00:00"])", 200, kept},
        {"nu este json", 200, kept},
    };
    for (const auto& c : cases) {
        f.standin.fault({{"path", "/api/Time"}, {"status", c.status}, {"body", c.body}});
        t = kept;
        EXPECT_EQ(errorOf([&] { f.anaf->GetDateTime_Timeapi(t); }), kNone) << c.body;
        EXPECT_EQ(t, c.expected) << c.body << " " << c.status;
    }
    // only a transport failure raises, and the value stays
    f.standin.fault({{"path", "/api/Time"}, {"drop", true}});
    t = kept;
    EXPECT_NE(errorOf([&] { f.anaf->GetDateTime_Timeapi(t); }), kNone);
    EXPECT_EQ(t, kept);
}

TEST(AnafMsgTime, TheSecondServiceReportsItsValueThroughTheApplicationsHook) {
    RetrievalFixture f;
    std::vector<std::string> shown;
    f.anaf->onMessage = [&](const std::string& s) { shown.push_back(s); };
    LocalDateTime t{};

    f.standin.fault({{"path", "/api/timezone"}, {"status", 200}, {"body", R"({"datetime":"2024-03-01T12:00:00.5+02:00"})"}});
    f.anaf->GetDateTime_Worldtimeapi(t);
    EXPECT_EQ(t, at(2024, 3, 1, 10, 0, 0, 500000));
    EXPECT_EQ(f.standin.requests().back()["target"], "/api/timezone/Europe/Bucharest");
    EXPECT_EQ(f.standin.requests().back()["role"], "worldtimeapi");
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "worldtimeapi = " + platform::time::shortDateLongTime(platform::time::fromLocal(t))}));

    // a bad answer: no value, no message
    f.standin.fault({{"path", "/api/timezone"}, {"status", 200}, {"body", R"({"dateTime":"2024-03-01T12:00:00"})"}});
    f.anaf->GetDateTime_Worldtimeapi(t);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(t, at(2024, 3, 1, 10, 0, 0, 500000));

    // without a hook the value is still read; the service's offset makes it UTC
    f.anaf->onMessage = nullptr;
    f.anaf->GetDateTime_Worldtimeapi(t);
    const LocalDateTime utcNow{duration_cast<microseconds>(platform::time::now().time_since_epoch())};
    EXPECT_LT(abs(t - utcNow), seconds(5));
}
