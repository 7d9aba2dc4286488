// The ANAF stand-in seen by a plain HTTPS client: authentication of each role, the raw request
// log, and the faults a test can queue.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>

#include "support/standin_process.h"

using testsupport::StandinProcess;

namespace {

struct Answer {
    CURLcode rc = CURLE_OK;
    long status = 0;
    std::string body;
};

size_t collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

Answer get(const StandinProcess& s, const std::string& url, const std::string& cert = {},
           const std::string& bearer = {}) {
    Answer a;
    CURL* h = curl_easy_init();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_CAINFO, (s.certsDir() + "/ca.pem").c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &a.body);
    if (!cert.empty()) curl_easy_setopt(h, CURLOPT_SSLCERT, cert.c_str());
    curl_slist* headers = nullptr;
    if (!bearer.empty()) headers = curl_slist_append(headers, ("Authorization: Bearer " + bearer).c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    a.rc = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &a.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(h);
    return a;
}

}  // namespace

TEST(Standin, EachRoleAuthenticatesAsTheRealServiceDoes) {
    StandinProcess s;
    const std::string list = "/prod/FCTEL/rest/listaMesajeFactura?zile=60&cif=41801234";
    EXPECT_NE(get(s, s.url("cert") + list).rc, CURLE_OK);  // no client certificate: refused at TLS
    EXPECT_EQ(get(s, s.url("cert") + list, s.storeDir() + "/client-7A3F0001.pem").status, 200);
    EXPECT_EQ(get(s, s.url("api") + list).status, 401);
    EXPECT_EQ(get(s, s.url("api") + list, {}, "someone-elses-token").status, 403);
    const Answer ok = get(s, s.url("api") + list, {}, "demo-access-token");
    EXPECT_EQ(ok.status, 200);
    EXPECT_NE(ok.body.find("\"mesaje\""), std::string::npos);
    EXPECT_EQ(get(s, s.url("api") + "/prod/FCTEL/rest/listaMesajeFactura?zile=abc&cif=41801234", {}, "demo-access-token").status, 400);
    EXPECT_NE(get(s, s.url("api") + "/prod/FCTEL/rest/listaMesajeFactura?zile=5&cif=999", {}, "demo-access-token")
                  .body.find("eroare"), std::string::npos);
    const auto log = s.requests();
    EXPECT_EQ(log.back()["target"], "/prod/FCTEL/rest/listaMesajeFactura?zile=5&cif=999");
    EXPECT_EQ(log.back()["headers"]["Authorization"], "Bearer demo-access-token");
}

TEST(Standin, QueuedFaultsHitTheirPathOnce) {
    StandinProcess s;
    const std::string url = s.url("api") + "/prod/FCTEL/rest/descarcare?id=3000000001";
    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"delayMs", 600}});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(get(s, url, {}, "demo-access-token").status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(600));
    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"drop", true}});
    EXPECT_NE(get(s, url, {}, "demo-access-token").rc, CURLE_OK);
    s.fault({{"path", "/prod/FCTEL/rest/descarcare"}, {"status", 503}, {"body", "jos"}, {"contentType", "text/plain"}});
    const Answer down = get(s, url, {}, "demo-access-token");
    EXPECT_EQ(down.status, 503);
    EXPECT_EQ(down.body, "jos");
    EXPECT_EQ(get(s, url, {}, "demo-access-token").status, 200);  // the fault was used up
    // a query sent raw is logged raw
    get(s, s.url("public") + "/prod/FCTEL/rest/validare/FACT1?a=%20b&c=d");
    EXPECT_EQ(s.requests().back()["target"], "/prod/FCTEL/rest/validare/FACT1?a=%20b&c=d");
}
