#pragma once
// The ANAF stand-in as a child process of a test: started with the test certificates, its role
// addresses read from its first output line, steered through its admin interface, stopped when
// the object goes (or when the test process dies).

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct StandinOptions {
    int messages = 60;
    int days = 60;
    int seed = 7;
    std::string cif = "41801234";
    int pageSize = 500;
    std::vector<std::string> tokens = {"demo-access-token"};
    std::int64_t now = 0;  // the stand-in's clock at start, seconds since the epoch; 0 = the system clock
};

class StandinProcess {
public:
    explicit StandinProcess(const StandinOptions& options = {});
    ~StandinProcess();
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    // api, cert, public, login, callback, timeapi, worldtimeapi, contribuabili, admin
    std::string url(const std::string& role) const { return urls_.at(role).get<std::string>(); }
    std::string certsDir() const;
    std::string caFile() const { return certsDir() + "/ca.pem"; }
    std::string storeDir() const { return certsDir() + "/store"; }

    // Points the client at this stand-in (TARVELO_* variables) and at `store` for certificates.
    void exportEnvironment(const std::string& store = {}) const;

    // The admin interface (standins/anaf/README.md). A refused call throws with the reason.
    nlohmann::json requests() const;  // every request received, in order
    void clearLog() const;
    void fault(const nlohmann::json& fault) const;
    nlohmann::json faults() const;  // those not used up yet
    void clearFaults() const;
    // New messages created now; answers their list entries. An empty `cif` means the stand-in's.
    nlohmann::json addMessages(int count, const std::string& tip = "FACTURA PRIMITA", const std::string& cif = {}) const;
    void addToken(const std::string& token) const;
    void revokeToken(const std::string& token) const;
    std::pair<std::string, std::string> issueTokens() const;  // a new access and refresh token
    void registerClient(const std::string& id, const std::string& secret, const std::string& redirectUri) const;
    void setPageSize(int size) const;
    void reset() const;  // log, faults, filings, registrations, page size and mailbox as at start

private:
    std::string admin(const std::string& method, const std::string& path, const std::string& body = {}) const;
    void stop();
    int pid_ = -1;
    nlohmann::json urls_;
};

// A plain HTTPS (or HTTP) request as any client would send it, trusting the test CA; for tests
// that look at the stand-in's own answers.
struct WireRequest {
    std::string url;
    std::string method = "GET";
    std::string body;
    std::vector<std::string> headers;  // "Name: value"
    std::string clientCert;            // a PEM of certificate and key, or none
    bool followRedirects = false;
};
struct WireAnswer {
    int curlCode = 0;  // 0 when an answer came
    long status = 0;
    std::string contentType;
    std::string body;
    std::string location;  // of a redirect not followed
};
WireAnswer wireCall(const StandinProcess& standin, const WireRequest& request);

// A client certificate made for one test by tools/make-test-certs, written as `store`/NAME.pem
// (serial in hexadecimal, dates as YYYYMMDDHHMMSSZ).
void makeClientCertificate(const std::string& store, const std::string& name, const std::string& serialHex,
                           const std::string& start, const std::string& end);

}  // namespace testsupport
