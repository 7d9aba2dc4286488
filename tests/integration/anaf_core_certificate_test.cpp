// The client certificate over real HTTPS against the stand-in's certificate host: which one of the
// user's store is presented, what is skipped, and the transport's own checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/certs/cert_store.h"
#include "platform/time/clock.h"
#include "support/retrieval_fixture.h"

using testsupport::RetrievalFixture;
namespace fs = std::filesystem;
using namespace std::chrono;
using platform::time::LocalDateTime;

namespace {

// openssl's YYYYMMDDHHMMSSZ of a local date-time
std::string openSslDate(LocalDateTime local) {
    const std::time_t t = system_clock::to_time_t(platform::time::fromLocal(local));
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%SZ", &tm);
    return buf;
}

// The application's clock fixed at `at` for one test.
struct FixedClock {
    explicit FixedClock(LocalDateTime at) {
        const auto instant = platform::time::fromLocal(at);
        platform::time::setNowForTests([instant] { return instant; });
    }
    ~FixedClock() { platform::time::setNowForTests(nullptr); }
};

std::string freshStore(const std::string& name) {
    const std::string store = std::string(TARVELO_BINARY_DIR) + "/" + name + "-" + std::to_string(getpid());
    fs::remove_all(store);
    fs::create_directories(store);
    return store;
}

void run(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// One request on the ANAF set to the certificate host; answers the serial the server saw.
std::string serialPresented(RetrievalFixture& f) {
    auto& set = f.anaf->RESTClientAnaf;
    set.baseUrl = f.anaf->AnafCertBaseUrl;
    set.resource = "/prod/FCTEL/rest/listaMesajeFactura";
    set.method = "GET";
    set.clearParams();
    set.hasBody = false;
    set.params = {{"zile", "1"}, {"cif", "41801234"}};
    set.execute(f.anaf->certificateChooser());
    EXPECT_EQ(set.statusCode, 200);
    const auto log = f.standin.requests();
    return log.empty() ? "" : std::string(log.back()["client_cert_serial"]);
}

std::string noCertificateError(RetrievalFixture& f) {
    f.standin.clearLog();
    try {
        serialPresented(f);
    } catch (const AnafError& e) {
        EXPECT_TRUE(f.standin.requests().empty()) << "a request reached the server without a certificate";
        return e.what();
    }
    return "(no error)";
}

}  // namespace

// The clock stands ten days ahead at noon, so that every certificate made here is also valid for
// the server's real clock whenever it is presented; only the client's "today" is the fixed one.
TEST(AnafCoreCertificate, FirstRegisteredCandidateValidAtTodaysMidnightInFileNameOrder) {
    const LocalDateTime day = floor<days>(platform::time::localNow()) + days{10};
    const FixedClock clock(day + hours{12});
    RetrievalFixture f;
    const std::string store = freshStore("store-choice");
    setenv("TARVELO_CERT_DIR", store.c_str(), 1);
    setenv("TARVELO_CERT_PASSWORD", "parola-test", 1);

    const std::string longAgo = openSslDate(day - days{30}), farAhead = openSslDate(day + days{300});
    using testsupport::makeClientCertificate;
    makeClientCertificate(store, "a-registered-twice", "7A3F0B01", longAgo, farAhead);
    makeClientCertificate(store, "b-begins-later-today", "7A3F0B02", openSslDate(day + hours{15}), farAhead);
    // began this morning, before the clock's time: today at midnight is the moment checked
    makeClientCertificate(store, "c-began-this-morning", "7A3F0B03", openSslDate(day + hours{8}), farAhead);
    makeClientCertificate(store, "d-ended-yesterday", "7A3F0B04", longAgo, openSslDate(day - hours{6}));
    makeClientCertificate(store, "e-unregistered", "7A3F0B05", longAgo, farAhead);
    // ended at half past midnight, before the clock's time, but still today
    makeClientCertificate(store, "f-ends-today", "7A3F0B06", longAgo, openSslDate(day + minutes{30}));
    makeClientCertificate(store, "g-valid", "7A3F0B07", longAgo, farAhead);
    // PKCS#12: one under the store's password, one under another (skipped, not fatal)
    makeClientCertificate(store, "tmp-h", "7A3F0B08", longAgo, farAhead);
    makeClientCertificate(store, "tmp-0", "7A3F0B09", longAgo, farAhead);
    run("openssl pkcs12 -export -in " + store + "/tmp-h.pem -passout pass:parola-test -out " + store +
        "/h-pkcs12.p12");
    run("openssl pkcs12 -export -in " + store + "/tmp-0.pem -passout pass:alta-parola -out " + store +
        "/0-wrong-password.p12");
    fs::remove(store + "/tmp-h.pem");
    fs::remove(store + "/tmp-0.pem");
    std::ofstream(store + "/1-not-a-certificate.pem") << "-----BEGIN CERTIFICATE-----\nstricat\n";
    std::ofstream(store + "/2-notes.txt") << "not a candidate";
    f.db.erp.exec(
        "INSERT INTO digital_certif (serial_no) VALUES ('7A3F0B01'), ('7A3F0B01'), ('7A3F0B02'), ('7A3F0B03'),"
        " ('7A3F0B04'), ('7A3F0B06'), ('7A3F0B07'), ('7A3F0B08'), ('7A3F0B09')");

    EXPECT_EQ(serialPresented(f), "7A3F0B06");
    fs::remove(store + "/f-ends-today.pem");
    EXPECT_EQ(serialPresented(f), "7A3F0B07");
    fs::remove(store + "/g-valid.pem");
    EXPECT_EQ(serialPresented(f), "7A3F0B08");
    fs::remove(store + "/h-pkcs12.p12");
    EXPECT_EQ(noCertificateError(f), "Nu exista nici un certificat valid");

    // the query is left closed also when the routine raises: the next choice works
    makeClientCertificate(store, "z-valid-again", "7A3F0B07", longAgo, farAhead);
    EXPECT_EQ(serialPresented(f), "7A3F0B07");
    fs::remove_all(store);
    unsetenv("TARVELO_CERT_PASSWORD");
}

TEST(AnafCoreCertificate, EmptyOrMissingStoreGivesNoValidCertificate) {
    RetrievalFixture f;
    const std::string store = freshStore("store-empty");
    setenv("TARVELO_CERT_DIR", store.c_str(), 1);
    EXPECT_EQ(noCertificateError(f), "Nu exista nici un certificat valid");
    setenv("TARVELO_CERT_DIR", (store + "/missing").c_str(), 1);
    EXPECT_EQ(noCertificateError(f), "Nu exista nici un certificat valid");

    // The demo store holds registered and valid certificates: the first by file name is chosen.
    setenv("TARVELO_CERT_DIR", f.standin.storeDir().c_str(), 1);
    EXPECT_EQ(serialPresented(f), "7A3F0001");
    f.db.erp.exec("DELETE FROM digital_certif");
    EXPECT_EQ(noCertificateError(f), "Nu exista nici un certificat valid");
    fs::remove_all(store);
}

// Hosts that never ask for a certificate are reached with an empty store: the routine (which
// would raise) only runs when a server asks.
TEST(AnafCoreCertificate, ServerWithoutCertificateRequestNeverRunsTheChoice) {
    RetrievalFixture f;
    const std::string store = freshStore("store-none");
    setenv("TARVELO_CERT_DIR", store.c_str(), 1);
    auto& set = f.anaf->RESTClient1;
    set.baseUrl = f.anaf->AnafPublicBaseUrl;
    set.resource = "/prod/FCTEL/rest/validare/FACT1";
    set.method = "POST";
    set.clearParams();
    set.contentType = "text/plain";
    set.body = "<Invoice/>";
    set.hasBody = true;
    EXPECT_NO_THROW(set.execute(f.anaf->certificateChooser()));
    EXPECT_EQ(f.standin.requests().back()["client_cert_serial"], "");
    fs::remove_all(store);
}

// The server's certificate is always verified: without the stand-in's CA it is refused with a
// text that names the server but none of the request's path or values.
TEST(AnafCoreCertificate, UntrustedServerIsRefusedNamingOnlyTheServer) {
    RetrievalFixture f;
    const std::string ca = f.standin.caFile();
    unsetenv("TARVELO_CA_FILE");
    auto& set = f.anaf->RESTClient1;
    set.baseUrl = f.anaf->AnafPublicBaseUrl + "/prod/FCTEL/rest/validare/FACT1";
    set.resource.clear();
    set.method = "GET";
    set.clearParams();
    set.hasBody = false;
    set.params = {{"cod", "valoare-secreta"}};
    try {
        set.execute(f.anaf->certificateChooser());
        ADD_FAILURE() << "an untrusted server was accepted";
    } catch (const platform::http::Error& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("Certificatul serverului " + f.standin.url("public") + " nu este de incredere: ", 0), 0u)
            << text;
        EXPECT_EQ(text.find("valoare-secreta"), std::string::npos) << text;
        EXPECT_EQ(text.find("validare"), std::string::npos) << text;
    }
    EXPECT_TRUE(f.standin.requests().empty());
    setenv("TARVELO_CA_FILE", ca.c_str(), 1);
    EXPECT_NO_THROW(set.execute(f.anaf->certificateChooser()));
}

// The store as a list: file-name order, serials in the form digital_certif holds, validity as
// written in the certificate, and every unreadable file skipped.
TEST(AnafCoreCertificate, StoreListsReadableCandidatesWithTheirSerialForm) {
    const std::string store = freshStore("store-list");
    using testsupport::makeClientCertificate;
    makeClientCertificate(store, "b-high-bit", "80000001", "20240101000000Z", "20300101120000Z");
    makeClientCertificate(store, "a-short", "0A3F01", "20240101000000Z", "20300101000000Z");
    makeClientCertificate(store, "tmp", "7A3F0C01", "20240101000000Z", "20300101000000Z");
    run("openssl pkey -in " + store + "/tmp.pem -aes256 -passout pass:parola-test -out " + store + "/key.enc");
    run("openssl x509 -in " + store + "/tmp.pem -out " + store + "/c-encrypted-key.pem");
    run("cat " + store + "/key.enc >> " + store + "/c-encrypted-key.pem");
    fs::remove(store + "/tmp.pem");
    fs::remove(store + "/key.enc");
    std::ofstream(store + "/d-empty.p12").flush();
    // a key that does not belong to the certificate
    run("openssl x509 -in " + store + "/a-short.pem -out " + store + "/e-foreign-key.pem");
    run("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 >> " + store + "/e-foreign-key.pem 2>/dev/null");

    auto listed = [&](const std::string& password) {
        std::string out;
        for (const auto& c : platform::certs::loadCandidates(store, password)) out += c.file + "=" + c.serialNumber + " ";
        return out;
    };
    EXPECT_EQ(listed("parola-test"), "a-short.pem=0A3F01 b-high-bit.pem=80000001 c-encrypted-key.pem=7A3F0C01 ");
    EXPECT_EQ(listed("alta-parola"), "a-short.pem=0A3F01 b-high-bit.pem=80000001 ");

    const auto candidates = platform::certs::loadCandidates(store, "");
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(system_clock::to_time_t(candidates[1].validFrom), 1704067200);  // 2024-01-01 00:00:00 UTC
    EXPECT_EQ(system_clock::to_time_t(candidates[1].validTo), 1893499200);    // 2030-01-01 12:00:00 UTC
    fs::remove_all(store);
}
