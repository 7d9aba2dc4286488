#pragma once
// The ANAF stand-in as a child process of a test: started with the test certificates, its role
// addresses read from its first output line, stopped when the object goes.

#include <nlohmann/json.hpp>
#include <string>

namespace testsupport {

struct StandinOptions {
    int messages = 60;
    int days = 60;
    int seed = 7;
    std::string cif = "41801234";
    int pageSize = 500;
    std::vector<std::string> tokens = {"demo-access-token"};
};

class StandinProcess {
public:
    explicit StandinProcess(const StandinOptions& options = {});
    ~StandinProcess();
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    std::string url(const std::string& role) const { return urls_.at(role).get<std::string>(); }
    std::string certsDir() const;
    std::string storeDir() const { return certsDir() + "/store"; }

    // Points the client at this stand-in (TARVELO_* variables) and at `store` for certificates.
    void exportEnvironment(const std::string& store = {}) const;

    nlohmann::json requests() const;  // every request received, in order
    void clearLog() const;
    void fault(const nlohmann::json& fault) const;  // see standins/anaf/README.md
    nlohmann::json addMessages(int count, const std::string& tip = "FACTURA PRIMITA") const;
    void addToken(const std::string& token) const;

private:
    std::string admin(const std::string& method, const std::string& path, const std::string& body = {}) const;
    int pid_ = -1;
    nlohmann::json urls_;
};

// A client certificate made for one test: tools/make-test-certs --client into `store`.
void makeClientCertificate(const std::string& store, const std::string& name, const std::string& serialHex,
                           const std::string& start, const std::string& end);

}  // namespace testsupport
