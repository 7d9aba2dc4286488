#include "support/standin_process.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace testsupport {
namespace {

size_t collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// Runs `args` as a child whose standard output goes to `out` (when >= 0); the child gets
// SIGTERM when the test process dies, so no stand-in outlives a crashed test.
pid_t spawn(std::vector<std::string> args, int out) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        if (out >= 0) dup2(out, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) throw std::runtime_error("fork failed");
    return pid;
}

// The first line the child writes, waiting at most `seconds`.
std::string firstLine(int fd, int seconds) {
    std::string line;
    char c = 0;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, seconds * 1000) > 0) {
        const ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        line += c;
    }
    return line;
}

}  // namespace

StandinProcess::StandinProcess(const StandinOptions& o) {
#ifndef TARVELO_STANDIN_EXE
    (void)o;
    throw std::runtime_error("the stand-in is not part of this build");
#else
    std::vector<std::string> args = {TARVELO_STANDIN_EXE, "--certs", certsDir(), "--messages", std::to_string(o.messages),
                                     "--days", std::to_string(o.days), "--seed", std::to_string(o.seed),
                                     "--cif", o.cif, "--page-size", std::to_string(o.pageSize)};
    for (const auto& t : o.tokens) {
        args.push_back("--token");
        args.push_back(t);
    }
    if (o.now != 0) {
        args.push_back("--now");
        args.push_back(std::to_string(o.now));
    }
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    try {
        pid_ = spawn(args, out[1]);
    } catch (...) {
        close(out[0]);
        close(out[1]);
        throw;
    }
    close(out[1]);
    const std::string line = firstLine(out[0], 30);
    close(out[0]);
    urls_ = nlohmann::json::parse(line, nullptr, false);
    if (!urls_.is_object() || !urls_.contains("admin")) {
        stop();
        throw std::runtime_error("the stand-in did not start (see its message above): " + line);
    }
#endif
}

StandinProcess::~StandinProcess() { stop(); }

void StandinProcess::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

std::string StandinProcess::certsDir() const { return TARVELO_TEST_CERTS_DIR; }

void StandinProcess::exportEnvironment(const std::string& store) const {
    setenv("TARVELO_ANAF_API_URL", url("api").c_str(), 1);
    setenv("TARVELO_ANAF_CERT_URL", url("cert").c_str(), 1);
    setenv("TARVELO_ANAF_PUBLIC_URL", url("public").c_str(), 1);
    setenv("TARVELO_ANAF_LOGIN_URL", url("login").c_str(), 1);
    setenv("TARVELO_TIMEAPI_URL", url("timeapi").c_str(), 1);
    setenv("TARVELO_WORLDTIMEAPI_URL", url("worldtimeapi").c_str(), 1);
    setenv("TARVELO_CA_FILE", caFile().c_str(), 1);
    setenv("TARVELO_CERT_DIR", (store.empty() ? storeDir() : store).c_str(), 1);
}

std::string StandinProcess::admin(const std::string& method, const std::string& path, const std::string& body) const {
    CURL* h = curl_easy_init();
    if (!h) throw std::runtime_error("curl_easy_init");
    std::string answer;
    const std::string address = url("admin") + path;
    curl_easy_setopt(h, CURLOPT_URL, address.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    if (method == "POST") {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    }
    const CURLcode rc = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(h);
    if (rc != CURLE_OK) throw std::runtime_error("stand-in admin call failed: " + path + ": " + curl_easy_strerror(rc));
    if (status != 200) throw std::runtime_error("stand-in admin call " + path + " refused: " + answer);
    return answer;
}

nlohmann::json StandinProcess::requests() const { return nlohmann::json::parse(admin("GET", "/admin/requests")); }
void StandinProcess::clearLog() const { admin("POST", "/admin/clear-log"); }
void StandinProcess::fault(const nlohmann::json& f) const { admin("POST", "/admin/fault", f.dump()); }
nlohmann::json StandinProcess::faults() const { return nlohmann::json::parse(admin("GET", "/admin/faults")); }
void StandinProcess::clearFaults() const { admin("POST", "/admin/clear-faults"); }
void StandinProcess::reset() const { admin("POST", "/admin/reset"); }

nlohmann::json StandinProcess::addMessages(int count, const std::string& tip, const std::string& cif) const {
    nlohmann::json body = {{"count", count}, {"tip", tip}};
    if (!cif.empty()) body["cif"] = cif;
    return nlohmann::json::parse(admin("POST", "/admin/messages", body.dump()));
}

void StandinProcess::addToken(const std::string& token) const {
    admin("POST", "/admin/tokens", nlohmann::json{{"token", token}}.dump());
}

void StandinProcess::revokeToken(const std::string& token) const {
    admin("POST", "/admin/tokens", nlohmann::json{{"revoke", token}}.dump());
}

std::pair<std::string, std::string> StandinProcess::issueTokens() const {
    const auto pair = nlohmann::json::parse(admin("POST", "/admin/tokens", "{}"));
    return {pair.at("access_token").get<std::string>(), pair.at("refresh_token").get<std::string>()};
}

void StandinProcess::registerClient(const std::string& id, const std::string& secret,
                                    const std::string& redirectUri) const {
    admin("POST", "/admin/clients",
          nlohmann::json{{"client_id", id}, {"client_secret", secret}, {"redirect_uri", redirectUri}}.dump());
}

void StandinProcess::setPageSize(int size) const {
    admin("POST", "/admin/page-size", nlohmann::json{{"size", size}}.dump());
}

WireAnswer wireCall(const StandinProcess& standin, const WireRequest& r) {
    WireAnswer a;
    CURL* h = curl_easy_init();
    if (!h) throw std::runtime_error("curl_easy_init");
    curl_easy_setopt(h, CURLOPT_URL, r.url.c_str());
    curl_easy_setopt(h, CURLOPT_CAINFO, standin.caFile().c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &a.body);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, r.followRedirects ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, r.method.c_str());
    if (r.method == "POST" || !r.body.empty()) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, r.body.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(r.body.size()));
    }
    if (!r.clientCert.empty()) curl_easy_setopt(h, CURLOPT_SSLCERT, r.clientCert.c_str());
    curl_slist* headers = nullptr;
    for (const auto& line : r.headers) headers = curl_slist_append(headers, line.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    a.curlCode = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &a.status);
    char* type = nullptr;
    curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &type);
    if (type) a.contentType = type;
    char* location = nullptr;
    curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location);
    if (location) a.location = location;
    curl_slist_free_all(headers);
    curl_easy_cleanup(h);
    return a;
}

void makeClientCertificate(const std::string& store, const std::string& name, const std::string& serialHex,
                           const std::string& start, const std::string& end) {
    const pid_t pid = spawn({std::string(TARVELO_SOURCE_DIR) + "/tools/make-test-certs", TARVELO_TEST_CERTS_DIR,
                             "--client", name, serialHex, start, end, store},
                            -1);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("cannot make certificate " + name);
}

}  // namespace testsupport
