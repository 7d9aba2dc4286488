// anaf-standin: ANAF's e-Factura, e-Transport, OAuth, time and taxpayer services on loopback,
// for the tests and the demo. README.md in this folder describes the roles, the options and the
// admin interface.

#include <httplib.h>
#include <openssl/ssl.h>
#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "http_util.h"
#include "standin.h"

namespace {

struct Options {
    std::string certs;
    standin::MailboxOptions mailbox;
    std::int64_t now = 0;
    int pageSize = 500;
    int basePort = 0;
    std::set<std::string> tokens;
};

const char* const kUsage =
    "usage: anaf-standin --certs DIR [--messages N] [--days D] [--seed S] [--cif C] [--page-size P]\n"
    "                    [--now EPOCH_SECONDS] [--base-port P] [--token T]...\n";

bool number(const std::string& text, long long min, long long max, long long& out) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::stoll(text);
    return out >= min && out <= max;
}

bool parse(int argc, char* argv[], Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) {
            error = a.rfind("--", 0) == 0 ? "missing value for " + a : "unknown argument " + a;
            return false;
        }
        const std::string v = argv[++i];
        long long n = 0;
        bool ok = true;
        if (a == "--certs") o.certs = v;
        else if (a == "--messages") ok = number(v, 0, 10000000, n) && ((o.mailbox.messages = static_cast<int>(n)), true);
        else if (a == "--days") ok = number(v, 1, 3650, n) && ((o.mailbox.days = static_cast<int>(n)), true);
        else if (a == "--seed") ok = number(v, 0, 999999999999999999LL, n) && ((o.mailbox.seed = static_cast<std::uint64_t>(n)), true);
        else if (a == "--cif") ok = number(v, 1, 9999999999999LL, n) && ((o.mailbox.cif = v), true);
        else if (a == "--page-size") ok = number(v, 1, 100000, n) && ((o.pageSize = static_cast<int>(n)), true);
        else if (a == "--now") ok = number(v, 1, 99999999999LL, n) && ((o.now = n), true);
        else if (a == "--base-port") ok = number(v, 1, 65526, n) && ((o.basePort = static_cast<int>(n)), true);
        else if (a == "--token") ok = !v.empty() && o.tokens.insert(v).second;
        else {
            error = "unknown option " + a;
            return false;
        }
        if (!ok) {
            error = "bad value for " + a + ": " + v;
            return false;
        }
    }
    if (o.certs.empty()) error = "--certs DIR is required (made by tools/make-test-certs)";
    return error.empty();
}

std::unique_ptr<httplib::Server> tlsServer(const std::string& certs, bool requireClientCert) {
    return std::make_unique<httplib::SSLServer>([&certs, requireClientCert](SSL_CTX& ctx) {
        SSL_CTX_set_min_proto_version(&ctx, TLS1_2_VERSION);
        if (SSL_CTX_use_certificate_chain_file(&ctx, (certs + "/server.pem").c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(&ctx, (certs + "/server.key").c_str(), SSL_FILETYPE_PEM) != 1)
            return false;
        if (requireClientCert) {
            // Like ANAF's certificate host: no certificate of the trusted CA, no TLS session.
            if (SSL_CTX_load_verify_locations(&ctx, (certs + "/ca.pem").c_str(), nullptr) != 1) return false;
            SSL_CTX_set_client_CA_list(&ctx, SSL_load_client_CA_file((certs + "/ca.pem").c_str()));
            SSL_CTX_set_verify(&ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
            // Resumed TLS 1.3 sessions need a session id context when client certificates are required.
            static const unsigned char context[] = "anaf-standin";
            SSL_CTX_set_session_id_context(&ctx, context, sizeof context - 1);
            SSL_CTX_set_options(&ctx, SSL_OP_NO_TICKET);
        }
        return true;
    });
}

}  // namespace

int main(int argc, char* argv[]) {
    Options options;
    std::string error;
    if (!parse(argc, argv, options, error)) {
        std::cerr << error << "\n" << kUsage;
        return 2;
    }
    standin::Standin state(options.mailbox, options.now, options.tokens, options.pageSize);

    // Roles in the order of their ports with --base-port.
    struct Role {
        const char* name;
        bool tls, clientCert;
    };
    const Role roles[] = {{"api", true, false},      {"cert", true, true},         {"public", true, false},
                          {"login", true, false},    {"callback", true, false},    {"timeapi", true, false},
                          {"contribuabili", true, false}, {"worldtimeapi", false, false}, {"admin", false, false}};
    std::vector<std::pair<std::string, std::unique_ptr<httplib::Server>>> servers;
    nlohmann::ordered_json ready = nlohmann::ordered_json::object();
    int offset = 0;
    for (const Role& role : roles) {
        auto server = role.tls ? tlsServer(options.certs, role.clientCert) : std::make_unique<httplib::Server>();
        if (!server->is_valid()) {
            std::cerr << "cannot set up TLS for " << role.name << " with the certificates in " << options.certs << "\n";
            return 1;
        }
        const std::string name = role.name;
        if (name == "admin") {
            standin::installAdmin(state, *server);
        } else {
            auto handler = [&state, name](const httplib::Request& req, httplib::Response& res) {
                standin::handle(state, name, req, res);
            };
            server->Get(".*", handler).Post(".*", handler).Put(".*", handler).Patch(".*", handler);
            server->Delete(".*", handler).Options(".*", handler);
        }
        server->set_tcp_nodelay(true);  // no 40 ms Nagle pauses between a client and a loopback answer
        server->set_keep_alive_max_count(1000);
        server->set_payload_max_length(64 * 1024 * 1024);
        server->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            standin::answerJson(res, 500, {{"status", 500}, {"error", "Internal Server Error"}});
        });
        const int port = options.basePort ? options.basePort + offset++ : server->bind_to_any_port("127.0.0.1");
        if (options.basePort ? !server->bind_to_port("127.0.0.1", port) : port <= 0) {
            std::cerr << "cannot bind " << name << " on 127.0.0.1" << (options.basePort ? ":" + std::to_string(port) : "")
                      << "\n";
            return 1;
        }
        std::string url = std::string(role.tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port);
        if (name == "callback") state.callbackUrl = url;
        if (name == "contribuabili") url += "/api/PlatitorTvaRest/v9/tva";
        ready[name] = url;
        servers.emplace_back(name, std::move(server));
    }

    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // the serving threads inherit the mask
    std::vector<std::thread> threads;
    for (auto& [name, server] : servers) threads.emplace_back([s = server.get()] { s->listen_after_bind(); });
    std::cout << ready.dump() << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    // Nothing to save; a graceful stop would wait out every idle keep-alive connection.
    std::_Exit(0);
}
