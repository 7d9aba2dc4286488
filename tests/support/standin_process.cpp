#include "support/standin_process.h"

#include <curl/curl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {
namespace {

size_t collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

}  // namespace

StandinProcess::StandinProcess(const StandinOptions& o) {
#ifndef TARVELO_STANDIN_EXE
    throw std::runtime_error("the stand-in is not part of this build");
#else
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> args = {TARVELO_STANDIN_EXE, "--certs", certsDir(), "--messages", std::to_string(o.messages),
                                     "--days", std::to_string(o.days), "--seed", std::to_string(o.seed),
                                     "--cif", o.cif, "--page-size", std::to_string(o.pageSize)};
    for (const auto& t : o.tokens) {
        args.push_back("--token");
        args.push_back(t);
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    urls_ = nlohmann::json::parse(line, nullptr, false);
    if (!urls_.is_object()) throw std::runtime_error("the stand-in did not start: " + line);
#endif
}

StandinProcess::~StandinProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

std::string StandinProcess::certsDir() const { return TARVELO_TEST_CERTS_DIR; }

void StandinProcess::exportEnvironment(const std::string& store) const {
    setenv("TARVELO_ANAF_API_URL", url("api").c_str(), 1);
    setenv("TARVELO_ANAF_CERT_URL", url("cert").c_str(), 1);
    setenv("TARVELO_ANAF_PUBLIC_URL", url("public").c_str(), 1);
    setenv("TARVELO_ANAF_LOGIN_URL", url("login").c_str(), 1);
    setenv("TARVELO_TIMEAPI_URL", url("timeapi").c_str(), 1);
    setenv("TARVELO_WORLDTIMEAPI_URL", url("worldtimeapi").c_str(), 1);
    setenv("TARVELO_CA_FILE", (certsDir() + "/ca.pem").c_str(), 1);
    setenv("TARVELO_CERT_DIR", (store.empty() ? storeDir() : store).c_str(), 1);
}

std::string StandinProcess::admin(const std::string& method, const std::string& path, const std::string& body) const {
    CURL* h = curl_easy_init();
    std::string answer;
    const std::string address = url("admin") + path;
    curl_easy_setopt(h, CURLOPT_URL, address.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
    if (method == "POST") {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
    }
    const CURLcode rc = curl_easy_perform(h);
    curl_easy_cleanup(h);
    if (rc != CURLE_OK) throw std::runtime_error("stand-in admin call failed: " + path);
    return answer;
}

nlohmann::json StandinProcess::requests() const { return nlohmann::json::parse(admin("GET", "/admin/requests")); }
void StandinProcess::clearLog() const { admin("POST", "/admin/clear-log"); }
void StandinProcess::fault(const nlohmann::json& f) const { admin("POST", "/admin/fault", f.dump()); }
nlohmann::json StandinProcess::addMessages(int count, const std::string& tip) const {
    return nlohmann::json::parse(admin("POST", "/admin/messages", nlohmann::json{{"count", count}, {"tip", tip}}.dump()));
}
void StandinProcess::addToken(const std::string& token) const {
    admin("POST", "/admin/tokens", nlohmann::json{{"token", token}}.dump());
}

void makeClientCertificate(const std::string& store, const std::string& name, const std::string& serialHex,
                           const std::string& start, const std::string& end) {
    // make-test-certs keeps its CA in the shared folder; the certificate goes to the test's store.
    const std::string certs = TARVELO_TEST_CERTS_DIR;
    const std::string cmd = std::string(TARVELO_SOURCE_DIR) + "/tools/make-test-certs " + certs + " --client " + name +
                            " " + serialHex + " " + start + " " + end + " && mkdir -p " + store + " && mv " + certs +
                            "/store/" + name + ".pem " + store + "/";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot make certificate " + name);
}

}  // namespace testsupport
