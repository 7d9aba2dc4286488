// The ANAF stand-in seen by a plain HTTPS client: each role answering and authenticating as the
// real service does, the raw request log, every kind of queued fault, and hostile input.
#include <gtest/gtest.h>

#include <chrono>
#include <span>

#include "platform/zip/zip_reader.h"
#include "support/standin_process.h"

using testsupport::StandinProcess;
using testsupport::WireAnswer;
using testsupport::WireRequest;

namespace {

const std::string kBearer = "Authorization: Bearer demo-access-token";
const std::string kList = "/prod/FCTEL/rest/listaMesajeFactura?zile=60&cif=41801234";

WireAnswer call(const StandinProcess& s, const std::string& role, const std::string& target,
                std::vector<std::string> headers = {}, const std::string& method = "GET", const std::string& body = {},
                const std::string& cert = {}) {
    return wireCall(s, {s.url(role) + target, method, body, std::move(headers), cert});
}

std::string certificate(const StandinProcess& s, const std::string& name) { return s.storeDir() + "/" + name + ".pem"; }

}  // namespace

TEST(Standin, EachRoleAnswersAndAuthenticatesLikeTheRealService) {
    StandinProcess s;
    // The certificate host refuses at the TLS handshake without a certificate of its CA, or
    // with an expired one.
    EXPECT_NE(call(s, "cert", kList).curlCode, 0);
    EXPECT_NE(call(s, "cert", kList, {}, "GET", {}, certificate(s, "client-expired-7A3F0003")).curlCode, 0);
    const WireAnswer withCert = call(s, "cert", kList, {}, "GET", {}, certificate(s, "client-7A3F0001"));
    EXPECT_EQ(withCert.status, 200);
    EXPECT_EQ(s.requests().back()["client_cert_serial"], "7A3F0001");

    // The API host: 401 without a bearer token, 403 for one it never issued or revoked.
    const WireAnswer noToken = call(s, "api", kList);
    EXPECT_EQ(noToken.status, 401);
    EXPECT_NE(noToken.body.find("\"errorMessage\""), std::string::npos);
    EXPECT_EQ(call(s, "api", kList, {"Authorization: Bearer someone-elses"}).status, 403);
    EXPECT_EQ(call(s, "api", kList, {kBearer}).body, withCert.body);  // both hosts serve one mailbox
    s.addToken("added-token");
    EXPECT_EQ(call(s, "api", kList, {"Authorization: Bearer added-token"}).status, 200);
    s.revokeToken("added-token");
    EXPECT_EQ(call(s, "api", kList, {"Authorization: Bearer added-token"}).status, 403);

    struct Case {
        std::string role, method, target, body;
        std::vector<std::string> headers;
        long status;
        std::string contentType, contains;
    };
    const std::string xml = "<Invoice/>";
    const std::vector<Case> cases = {
        {"api", "GET", "/TestOauth/jaxrs/hello?name=Test%20Hello%20App!", "", {kBearer}, 200, "application/json",
         "Hello Test Hello App!"},
        {"api", "POST", "/prod/FCTEL/rest/transformare/FACT1", xml, {kBearer}, 200, "application/pdf", "%PDF-"},
        {"api", "POST", "/test/FCTEL/rest/validare/FACT1", xml, {kBearer}, 200, "application/json", "\"stare\":\"nok\""},
        {"public", "POST", "/prod/FCTEL/rest/transformare/FCN/DA", xml, {}, 200, "application/pdf", "%PDF-"},
        {"public", "POST", "/prod/FCTEL/rest/validare/FACT1", xml, {}, 200, "application/json", "[BR-02]"},
        {"public", "GET", kList, "", {}, 404, "application/json", "Not Found"},  // lists need a certificate or a token
        {"login", "GET", "/anaf-oauth2/v1/authorize?response_type=code&client_id=c&redirect_uri=" + s.url("callback") + "/cb",
         "", {}, 302, "", ""},
        {"login", "POST", "/anaf-oauth2/v1/token", "grant_type=password&client_id=c&client_secret=s", {}, 400,
         "application/json", "unsupported_grant_type"},
        {"callback", "GET", "/cb", "", {}, 200, "text/plain; charset=utf-8", "functioneaza"},
        {"callback", "GET", "/cb?code=abc", "", {}, 200, "application/json", "{\"code\":\"abc\"}"},
        {"timeapi", "GET", "/api/Time/current/zone?timeZone=Europe/Bucharest", "", {}, 200, "application/json", "\"dateTime\""},
        {"worldtimeapi", "GET", "/api/timezone/Europe/Bucharest", "", {}, 200, "application/json", "\"datetime\""},
        {"contribuabili", "POST", "", R"([{"cui":41801234, "data":"2025-03-05"}])", {"Content-Type: application/json"}, 200,
         "application/json", "Tarvelo Demo Distributie SRL"},
        {"contribuabili", "GET", "", "", {}, 405, "application/json", ""},
        {"api", "GET", "/prod/FCTEL/rest/nuExista", "", {kBearer}, 404, "application/json", "Not Found"},
        {"api", "GET", "/prod/FCTEL/rest/upload?standard=UBL&cif=41801234", "", {kBearer}, 405, "application/json", ""},
    };
    for (const auto& c : cases) {
        const WireAnswer a = call(s, c.role, c.target, c.headers, c.method, c.body);
        EXPECT_EQ(a.status, c.status) << c.role << " " << c.target << ": " << a.body;
        EXPECT_EQ(a.contentType, c.contentType) << c.role << " " << c.target;
        EXPECT_NE(a.body.find(c.contains), std::string::npos) << c.role << " " << c.target << ": " << a.body.substr(0, 300);
    }
}

TEST(Standin, TheRequestLogKeepsWhatTheClientSentByteForByte) {
    StandinProcess s;
    const std::string target = "/prod/FCTEL/rest/listaMesajeFactura?zile=5&cif=41801234&x=a%20b+c&x=%2F";
    call(s, "api", target, {kBearer, "X-Trace: 1"});
    const std::string binary("\x00\xff<Invoice/>\xc3", 13);
    call(s, "public", "/prod/FCTEL/rest/validare/FACT1", {"Content-Type: text/plain"}, "POST", binary);
    const auto log = s.requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0]["target"], target);
    EXPECT_EQ(log[0]["query"], "zile=5&cif=41801234&x=a%20b+c&x=%2F");
    EXPECT_EQ(log[0]["path"], "/prod/FCTEL/rest/listaMesajeFactura");
    EXPECT_EQ(log[0]["method"], "GET");
    EXPECT_EQ(log[0]["role"], "api");
    EXPECT_EQ(log[0]["headers"]["Authorization"], "Bearer demo-access-token");
    EXPECT_EQ(log[0]["headers"]["X-Trace"], "1");
    EXPECT_LT(log[0]["seq"].get<int>(), log[1]["seq"].get<int>());
    // A body that is not UTF-8 is kept exactly beside its readable form.
    EXPECT_EQ(log[1]["body_base64"], "AP88SW52b2ljZS8+ww==");
    EXPECT_EQ(log[1]["headers"]["Content-Type"], "text/plain");
    s.clearLog();
    EXPECT_TRUE(s.requests().empty());
}

TEST(Standin, EachQueuedFaultHitsItsPathTheGivenNumberOfTimes) {
    StandinProcess s;
    const auto added = s.addMessages(1);
    const std::string download = "/prod/FCTEL/rest/descarcare?id=" + std::string(added[0]["id"]);
    const std::string index = added[0]["id_solicitare"];
    const auto get = [&](const std::string& target = {}) { return call(s, "api", target.empty() ? download : target, {kBearer}); };
    const auto entries = [](const WireAnswer& a) {
        platform::zip::Archive zip({reinterpret_cast<const unsigned char*>(a.body.data()), a.body.size()});
        return zip.entryNames();
    };

    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"delayMs", 700}});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(get().status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(700));

    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"drop", true}});
    const WireAnswer dropped = get();
    EXPECT_NE(dropped.curlCode, 0);
    EXPECT_EQ(dropped.status, 0);  // not even a status line
    s.fault({{"path", "/api/timezone"}, {"drop", true}});  // also on a plain HTTP role
    EXPECT_NE(call(s, "worldtimeapi", "/api/timezone/Europe/Bucharest").curlCode, 0);

    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 503}, {"body", "<p>jos</p>"}, {"contentType", "text/html"}});
    const WireAnswer down = get();
    EXPECT_EQ(down.status, 503);
    EXPECT_EQ(down.contentType, "text/html");
    EXPECT_EQ(down.body, "<p>jos</p>");

    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"eroare", "S-au facut deja 10 descarcari de mesaj in cursul zilei"}});
    EXPECT_EQ(get().body, R"({"eroare":"S-au facut deja 10 descarcari de mesaj in cursul zilei","titlu":"Descarcare mesaj"})");

    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"zip", "one"}});
    EXPECT_EQ(entries(get()), (std::vector<std::string>{index + ".xml"}));
    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"zip", "three"}});
    EXPECT_EQ(entries(get()).size(), 3u);
    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"zip", "corrupt"}});
    const WireAnswer corrupt = get();
    EXPECT_EQ(corrupt.contentType, "application/zip");
    EXPECT_ANY_THROW({
        platform::zip::Archive zip({reinterpret_cast<const unsigned char*>(corrupt.body.data()), corrupt.body.size()});
        zip.read(index + ".xml");
    });
    EXPECT_EQ(entries(get()), (std::vector<std::string>{index + ".xml", "semnatura_" + index + ".xml"}));

    // a changed page count; a fault for one role leaves the other alone; "times"
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch()).count();
    const std::string paged = "/prod/FCTEL/rest/listaMesajePaginatieFactura?startTime=" + std::to_string(now - 86400000) +
                              "&endTime=" + std::to_string(now) + "&cif=41801234&pagina=1";
    s.fault({{"path", "/prod/FCTEL/rest/listaMesajePaginatieFactura"}, {"pages", 7}, {"role", "cert"}, {"times", 2}});
    EXPECT_NE(get(paged).body.find("\"numar_total_pagini\":1,"), std::string::npos);
    for (int i = 0; i < 2; ++i)
        EXPECT_NE(call(s, "cert", paged, {}, "GET", {}, certificate(s, "client-7A3F0002")).body.find("\"numar_total_pagini\":7,"),
                  std::string::npos);
    EXPECT_NE(call(s, "cert", paged, {}, "GET", {}, certificate(s, "client-7A3F0002")).body.find("\"numar_total_pagini\":1,"),
              std::string::npos);

    // faults wait their turn in order; a misspelt one is refused at once
    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 500}});
    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 429}});
    EXPECT_EQ(s.faults().size(), 2u);
    EXPECT_EQ(get().status, 500);
    EXPECT_EQ(get().status, 429);
    EXPECT_TRUE(s.faults().empty());
    EXPECT_THROW(s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"delay", 5}}), std::runtime_error);
    EXPECT_THROW(s.fault({{"path", "/prod"}, {"zip", "two"}}), std::runtime_error);
}

TEST(Standin, NoClientInputBringsItDown) {
    StandinProcess s;
    const std::string deep = std::string(200000, '<') + "a>";  // no recursion may follow this
    const std::string nested = [] {
        std::string x;
        for (int i = 0; i < 100000; ++i) x += "<a>";
        return x;
    }();
    struct Case {
        std::string role, method, target, body;
    };
    const std::vector<Case> cases = {
        {"api", "GET", "/prod/FCTEL/rest/listaMesajeFactura?zile=99999999999999999999999&cif=41801234", ""},
        {"api", "GET", "/prod/FCTEL/rest/listaMesajePaginatieFactura?startTime=-1&endTime=1e99&cif=x&pagina=0", ""},
        {"api", "GET", "/prod/FCTEL/rest/listaMesajePaginatieFactura?startTime=1&endTime=2&cif=41801234&pagina=99999999999999999999", ""},
        {"api", "GET", "/prod/FCTEL/rest/descarcare?id=%00%ff", ""},
        {"api", "GET", "/prod/FCTEL/rest/descarcare", ""},
        {"api", "GET", "/prod/FCTEL/rest/stareMesaj?id_incarcare=", ""},
        {"api", "POST", "/prod/FCTEL/rest/upload?standard=UBL&cif=41801234", nested},
        {"api", "POST", "/prod/FCTEL/rest/upload?standard=UBL&cif=41801234", std::string("\xff\xfe\x00<", 4)},
        {"api", "POST", "/prod/ETRANSPORT/ws/v1/upload/ETRANSP/41801234/2", deep},
        {"api", "GET", "/prod/ETRANSPORT/ws/v1/stareMesaj/", ""},
        {"api", "GET", "/prod/ETRANSPORT/ws/v1/lista/abc", ""},
        {"public", "POST", "/prod/FCTEL/rest/validare/FACT1", nested},
        {"public", "POST", "/prod/FCTEL/rest/transformare/FACT1/DA", nested},
        {"public", "POST", "/prod/FCTEL/rest/transformare//DA", "<Invoice/>"},
        {"login", "POST", "/anaf-oauth2/v1/token", "grant_type=authorization_code&code=%ZZ&client_id=\xff"},
        {"login", "GET", "/anaf-oauth2/v1/authorize?response_type=code&client_id=c&redirect_uri=%00", ""},
        {"contribuabili", "POST", "", "[{\"cui\":12345678901234567890123, \"data\":\"2025-02-30\"}]"},
        {"contribuabili", "POST", "", std::string(100, '[')},
        {"timeapi", "GET", "/api/Time/current/zone", ""},
        {"admin", "POST", "/admin/fault", "{\"path\":7}"},
        {"admin", "POST", "/admin/messages", "{\"count\":\"many\"}"},
        {"admin", "POST", "/admin/page-size", "[]"},
    };
    for (const auto& c : cases) {
        const WireAnswer a = call(s, c.role, c.target, {kBearer}, c.method, c.body);
        EXPECT_EQ(a.curlCode, 0) << c.target;
        EXPECT_NE(a.status, 500) << c.target << ": " << a.body.substr(0, 200);
    }
    EXPECT_EQ(call(s, "api", kList, {kBearer}).status, 200);
    EXPECT_NO_THROW(s.requests());  // the log of all that still reads as JSON
}

TEST(Standin, ResetBringsBackTheStartState) {
    testsupport::StandinOptions options;
    options.pageSize = 10;
    StandinProcess s(options);
    const std::string first = call(s, "api", kList, {kBearer}).body;
    s.addMessages(3);
    s.setPageSize(100);
    s.fault({{"path", "/prod"}, {"status", 500}});
    s.addToken("t2");
    s.reset();
    EXPECT_TRUE(s.requests().empty());
    EXPECT_TRUE(s.faults().empty());
    EXPECT_EQ(call(s, "api", kList, {"Authorization: Bearer t2"}).status, 403);
    EXPECT_EQ(call(s, "api", kList, {kBearer}).body, first);  // same mailbox, page size 10 again
}
