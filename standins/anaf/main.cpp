// anaf-standin: ANAF's e-Factura, OAuth and time services on loopback, for tests and the demo.
// See README.md in this folder for the roles, the admin interface and the fault kinds.

#include <httplib.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "messages.h"

using nlohmann::json;
using standin::Message;

namespace {

struct Fault {
    std::string path;          // the request path must start with this
    int status = 0;            // 0 = as usual
    std::string body;
    std::string contentType;
    int delayMs = 0;
    bool drop = false;         // close the connection without an answer
    std::string zip;           // "one", "three", "corrupt"
    int pages = 0;             // a changed "numar_total_pagini"
    std::string eroare;        // answer {"eroare": ...}
    int times = 1;
};

struct State {
    std::mutex mutex;
    json requests = json::array();
    std::deque<Fault> faults;
    std::set<std::string> tokens;
    std::map<std::string, std::string> refreshTokens;  // refresh token -> client id
    int pageSize = 500;
    int issued = 0;
};

State state;
std::unique_ptr<standin::Mailbox> mailbox;
std::atomic<bool> stopping{false};

std::string peerSerial(const httplib::Request& req) {
    if (!req.ssl) return {};
    X509* cert = SSL_get1_peer_certificate(req.ssl);
    if (!cert) return {};
    BIGNUM* bn = ASN1_INTEGER_to_BN(X509_get_serialNumber(cert), nullptr);
    char* hex = BN_bn2hex(bn);
    std::string out = hex;
    OPENSSL_free(hex);
    BN_free(bn);
    X509_free(cert);
    return out;
}

void record(const std::string& role, const httplib::Request& req) {
    json headers = json::object();
    for (const auto& [k, v] : req.headers) headers[k] = v;
    std::lock_guard lock(state.mutex);
    state.requests.push_back({{"role", role},
                              {"method", req.method},
                              {"target", req.target},
                              {"path", req.path},
                              {"headers", headers},
                              {"body", req.body},
                              {"client_cert_serial", peerSerial(req)}});
}

bool takeFault(const std::string& path, Fault& out) {
    std::lock_guard lock(state.mutex);
    for (auto it = state.faults.begin(); it != state.faults.end(); ++it) {
        if (path.rfind(it->path, 0) != 0) continue;
        out = *it;
        if (--it->times <= 0) state.faults.erase(it);
        return true;
    }
    return false;
}

void jsonAnswer(httplib::Response& res, int status, const json& body) {
    res.status = status;
    res.set_content(body.dump(), "application/json");
}

// Applies a queued fault; true when it answered the request itself.
bool applyFault(const Fault& f, httplib::Response& res) {
    if (f.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(f.delayMs));
    if (f.drop) {
        res.set_content_provider(1000, "application/octet-stream",
                                 [](size_t, size_t, httplib::DataSink&) { return false; });
        return true;
    }
    if (!f.eroare.empty()) {
        jsonAnswer(res, f.status ? f.status : 200, {{"eroare", f.eroare}, {"titlu", "Lista Mesaje"}});
        return true;
    }
    if (f.status != 0 || !f.contentType.empty() || !f.body.empty()) {
        res.status = f.status ? f.status : 200;
        res.set_content(f.body, f.contentType.empty() ? "application/json" : f.contentType.c_str());
        return true;
    }
    return false;
}

bool authorized(const std::string& role, const httplib::Request& req, httplib::Response& res) {
    if (role == "cert") {
        if (peerSerial(req).empty()) {
            jsonAnswer(res, 403, {{"Errors", {{{"errorMessage", "Certificatul clientului lipseste"}}}}});
            return false;
        }
        return true;
    }
    if (role != "api") return true;
    const std::string auth = req.get_header_value("Authorization");
    if (auth.rfind("Bearer ", 0) != 0) {
        jsonAnswer(res, 401, {{"status", 401}, {"error", "Unauthorized"}, {"message", "Lipseste tokenul de acces"}});
        return false;
    }
    std::lock_guard lock(state.mutex);
    if (!state.tokens.count(auth.substr(7))) {
        jsonAnswer(res, 403, {{"status", 403}, {"error", "Forbidden"}, {"message", "Token invalid"}});
        return false;
    }
    return true;
}

json entry(const Message& m) {
    return {{"data_creare", m.dataCreare}, {"cif", m.cif}, {"id_solicitare", m.idSolicitare},
            {"detalii", m.detalii},        {"tip", m.tip}, {"id", m.id}};
}

bool allDigits(const std::string& s) {
    return !s.empty() && s.size() < 19 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void listPaged(const httplib::Request& req, httplib::Response& res, const Fault* fault) {
    const std::string start = req.get_param_value("startTime"), end = req.get_param_value("endTime");
    const std::string cif = req.get_param_value("cif"), page = req.get_param_value("pagina");
    if (!allDigits(start) || !allDigits(end) || !allDigits(cif) || !allDigits(page)) {
        jsonAnswer(res, 400, {{"eroare", "Parametrii startTime, endTime, cif si pagina sunt obligatorii si numerici"}});
        return;
    }
    if (cif != mailbox->cif()) {
        jsonAnswer(res, 200, {{"eroare", "Nu aveti drept in SPV pentru CIF=" + cif}, {"titlu", "Lista Mesaje"}});
        return;
    }
    const auto all = mailbox->list(cif, std::stoll(start) / 1000, std::stoll(end) / 1000);
    if (all.empty()) {
        jsonAnswer(res, 200, {{"eroare", "Nu exista mesaje in intervalul selectat"}, {"titlu", "Lista Mesaje"}});
        return;
    }
    int size;
    {
        std::lock_guard lock(state.mutex);
        size = state.pageSize;
    }
    const int pages = static_cast<int>((all.size() + static_cast<size_t>(size) - 1) / static_cast<size_t>(size));
    const int p = std::stoi(page);
    if (p < 1 || p > pages) {
        jsonAnswer(res, 200, {{"eroare", "Pagina solicitata " + page + " este mai mare decat numarul total de pagini " +
                                             std::to_string(pages)},
                              {"titlu", "Lista Mesaje"}});
        return;
    }
    json mesaje = json::array();
    const size_t from = static_cast<size_t>(p - 1) * static_cast<size_t>(size);
    for (size_t i = from; i < all.size() && i < from + static_cast<size_t>(size); ++i) mesaje.push_back(entry(all[i]));
    jsonAnswer(res, 200, {{"mesaje", mesaje},
                          {"numar_inregistrari_in_pagina", mesaje.size()},
                          {"numar_total_inregistrari_per_pagina", size},
                          {"numar_total_inregistrari", all.size()},
                          {"numar_total_pagini", fault && fault->pages ? fault->pages : pages},
                          {"index_pagina_curenta", p},
                          {"serial", "1234AA456"},
                          {"cui", cif},
                          {"titlu", "Lista Mesaje Factura"}});
}

void listDays(const httplib::Request& req, httplib::Response& res) {
    const std::string days = req.get_param_value("zile"), cif = req.get_param_value("cif");
    if (!allDigits(days) || !allDigits(cif) || std::stoi(days) < 1 || std::stoi(days) > 60) {
        jsonAnswer(res, 400, {{"eroare", "Numarul de zile trebuie sa fie intre 1 si 60"}});
        return;
    }
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    const auto all = cif == mailbox->cif() ? mailbox->list(cif, now - std::stoll(days) * 86400, now)
                                           : std::vector<Message>{};
    if (all.empty()) {
        jsonAnswer(res, 200, {{"eroare", "Nu exista mesaje in ultimele " + days + " zile"}, {"titlu", "Lista Mesaje"}});
        return;
    }
    json mesaje = json::array();
    for (const auto& m : all) mesaje.push_back(entry(m));
    jsonAnswer(res, 200, {{"mesaje", mesaje}, {"serial", "1234AA456"}, {"cui", cif}, {"titlu", "Lista Mesaje"}});
}

void download(const httplib::Request& req, httplib::Response& res, const Fault* fault) {
    Message m;
    const std::string id = req.get_param_value("id");
    if (!mailbox->find(id, m)) {
        jsonAnswer(res, 200, {{"eroare", "Pentru id=" + id + " nu exista inregistrata nici o factura"},
                              {"titlu", "Descarcare mesaj"}});
        return;
    }
    std::vector<std::pair<std::string, std::string>> entries = {
        {m.idSolicitare + ".xml", standin::messageXml(m)}, {"semnatura_" + m.idSolicitare + ".xml", standin::signatureXml(m)}};
    std::string zip;
    if (fault && fault->zip == "one") entries.pop_back();
    if (fault && fault->zip == "three") entries.push_back({"extra.txt", "in plus"});
    zip = standin::makeZip(entries);
    if (fault && fault->zip == "corrupt") {
        for (size_t i = 30; i < zip.size() && i < 200; i += 3) zip[i] = static_cast<char>(zip[i] ^ 0x5A);
    }
    res.status = 200;
    res.set_content(zip, "application/zip");
}

void route(const std::string& role, const httplib::Request& req, httplib::Response& res) {
    record(role, req);
    Fault fault;
    const bool hasFault = takeFault(req.path, fault);
    if (hasFault && applyFault(fault, res)) return;
    const Fault* f = hasFault ? &fault : nullptr;
    if (!authorized(role, req, res)) return;
    const std::string& p = req.path;
    auto endsWith = [&](const std::string& tail) {
        return p.size() >= tail.size() && p.compare(p.size() - tail.size(), tail.size(), tail) == 0;
    };
    const bool fctel = (role == "api" || role == "cert") &&
                       (p.rfind("/prod/FCTEL/rest/", 0) == 0 || p.rfind("/test/FCTEL/rest/", 0) == 0);
    if (fctel && endsWith("/listaMesajePaginatieFactura") && req.method == "GET") return listPaged(req, res, f);
    if (fctel && endsWith("/listaMesajeFactura") && req.method == "GET") return listDays(req, res);
    if (fctel && endsWith("/descarcare") && req.method == "GET") return download(req, res, f);
    if (fctel && (endsWith("/upload") || endsWith("/uploadb2c")) && req.method == "POST") {
        std::lock_guard lock(state.mutex);
        res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<header xmlns=\"mfp:anaf:dgti:spv:respUploadFisier:v1\" "
                        "dateResponse=\"" + standin::formatLocal(std::time(nullptr), "%Y%m%d%H%M") +
                        "\" ExecutionStatus=\"0\" index_incarcare=\"" + std::to_string(5100000000 + ++state.issued) + "\"/>\n",
                        "application/xml");
        return;
    }
    if (fctel && endsWith("/stareMesaj") && req.method == "GET") {
        res.set_content("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<header xmlns=\"mfp:anaf:dgti:efactura:stareMesajFactura:v1\" "
                        "stare=\"ok\" id_descarcare=\"" + std::to_string(3100000000 + std::atoll(req.get_param_value("id_incarcare").c_str()) % 1000) +
                        "\"/>\n", "application/xml");
        return;
    }
    const bool transform = p.rfind("/prod/FCTEL/rest/transformare/", 0) == 0;
    if (transform && req.method == "POST" &&
        ((role == "api" && (endsWith("/FACT1") || endsWith("/FCN"))) ||
         (role == "public" && (endsWith("/FACT1/DA") || endsWith("/FCN/DA"))))) {
        if (req.body.find("<") == std::string::npos) {
            jsonAnswer(res, 200, {{"stare", "nok"}, {"Messages", {{{"message", "Fisierul transmis nu este un XML valid"}}}}});
            return;
        }
        res.set_content(standin::makePdf("Factura transformata " + p), "application/pdf");
        return;
    }
    if (role == "public" && endsWith("/FCTEL/rest/validare/FACT1") && req.method == "POST") {
        const bool ok = req.body.find("<Invoice") != std::string::npos || req.body.find(":Invoice") != std::string::npos;
        res.set_content(ok ? R"({"stare":"ok","trace_id":"a1b2c3"})"
                           : R"({"stare":"nok","Messages":[{"message":"E: fisierul nu este o factura"}],"trace_id":"a1b2c4"})",
                        "application/json");
        return;
    }
    if (role == "api" && p == "/TestOauth/jaxrs/hello") {
        jsonAnswer(res, 200, {{"message", "Hello " + req.get_param_value("name")}});
        return;
    }
    if ((role == "api" || role == "cert") && p.find("/ETRANSPORT/ws/v1/") != std::string::npos) {
        jsonAnswer(res, 200, {{"dateResponse", standin::formatLocal(std::time(nullptr), "%Y%m%d%H%M")},
                              {"ExecutionStatus", 0}, {"index_incarcare", 5200000001LL}, {"UIT", "9X1Y2Z3W4V5U6T7S"},
                              {"stare", "ok"}, {"mesaje", json::array()}});
        return;
    }
    if (role == "login" && p == "/anaf-oauth2/v1/authorize") {
        const std::string redirect = req.get_param_value("redirect_uri");
        if (redirect.empty() || req.get_param_value("client_id").empty()) {
            jsonAnswer(res, 400, {{"error", "invalid_request"}});
            return;
        }
        std::string code;
        {
            std::lock_guard lock(state.mutex);
            code = "code-" + std::to_string(++state.issued);
        }
        res.set_redirect(redirect + (redirect.find('?') == std::string::npos ? "?" : "&") + "code=" + code);
        return;
    }
    if (role == "login" && p == "/anaf-oauth2/v1/token" && req.method == "POST") {
        const std::string grant = req.get_param_value("grant_type");
        if ((grant != "authorization_code" || req.get_param_value("code").empty()) &&
            (grant != "refresh_token" || req.get_param_value("refresh_token").empty())) {
            jsonAnswer(res, 400, {{"error", "invalid_grant"}});
            return;
        }
        std::lock_guard lock(state.mutex);
        const int n = ++state.issued;
        const std::string at = "at-" + std::to_string(n), rt = "rt-" + std::to_string(n);
        state.tokens.insert(at);
        jsonAnswer(res, 200, {{"access_token", at}, {"refresh_token", rt}, {"token_type", "Bearer"}, {"expires_in", 7776000}});
        return;
    }
    if (role == "callback") {
        if (req.has_param("code")) jsonAnswer(res, 200, {{"code", req.get_param_value("code")}});
        else res.set_content("Callback OK", "text/plain");
        return;
    }
    if (role == "timeapi" && p == "/api/Time/current/zone") {
        const auto now = std::chrono::system_clock::now();
        const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() % 1000000;
        char frac[16];
        std::snprintf(frac, sizeof frac, ".%06lld0", static_cast<long long>(micros));
        jsonAnswer(res, 200, {{"dateTime", standin::formatLocal(std::time(nullptr), "%Y-%m-%dT%H:%M:%S") + frac},
                              {"timeZone", "Europe/Bucharest"}});
        return;
    }
    if (role == "worldtimeapi" && p == "/api/timezone/Europe/Bucharest") {
        std::string offset = standin::formatLocal(std::time(nullptr), "%z");
        offset.insert(3, ":");
        jsonAnswer(res, 200, {{"datetime", standin::formatLocal(std::time(nullptr), "%Y-%m-%dT%H:%M:%S.000000") + offset},
                              {"timezone", "Europe/Bucharest"}});
        return;
    }
    if (role == "contribuabili" && req.method == "POST") {
        const auto body = json::parse(req.body, nullptr, false);
        json found = json::array();
        if (body.is_array())
            for (const auto& q : body)
                if (q.is_object() && q.contains("cui"))
                    found.push_back({{"date_generale", {{"cui", q["cui"]}, {"denumire", "Firma " + q["cui"].dump()},
                                                        {"stare_inregistrare", "INREGISTRAT din data 01.01.2015"},
                                                        {"statusRO_e_Factura", true}}},
                                     {"inregistrare_scop_Tva", {{"scpTVA", true}}},
                                     {"inregistrare_RTVAI", {{"statusTvaIncasare", false}}},
                                     {"stare_inactiv", {{"statusInactivi", false}}}});
        jsonAnswer(res, 200, {{"cod", 200}, {"message", "SUCCESS"}, {"found", found}, {"notFound", json::array()}});
        return;
    }
    jsonAnswer(res, 404, {{"timestamp", standin::formatLocal(std::time(nullptr), "%d-%m-%Y %H:%M:%S")},
                          {"status", 404}, {"error", "Not Found"}, {"message", "No message available"}});
}

void admin(httplib::Server& server) {
    server.Get("/admin/requests", [](const httplib::Request&, httplib::Response& res) {
        std::lock_guard lock(state.mutex);
        res.set_content(state.requests.dump(), "application/json");
    });
    server.Post("/admin/reset", [](const httplib::Request&, httplib::Response& res) {
        {
            std::lock_guard lock(state.mutex);
            state.requests = json::array();
            state.faults.clear();
        }
        mailbox->reset();
        res.set_content("{}", "application/json");
    });
    server.Post("/admin/clear-log", [](const httplib::Request&, httplib::Response& res) {
        std::lock_guard lock(state.mutex);
        state.requests = json::array();
        res.set_content("{}", "application/json");
    });
    server.Post("/admin/fault", [](const httplib::Request& req, httplib::Response& res) {
        const auto j = json::parse(req.body, nullptr, false);
        if (!j.is_object() || !j.contains("path")) return jsonAnswer(res, 400, {{"error", "path required"}});
        Fault f;
        f.path = j.value("path", "");
        f.status = j.value("status", 0);
        f.body = j.value("body", "");
        f.contentType = j.value("contentType", "");
        f.delayMs = j.value("delayMs", 0);
        f.drop = j.value("drop", false);
        f.zip = j.value("zip", "");
        f.pages = j.value("pages", 0);
        f.eroare = j.value("eroare", "");
        f.times = j.value("times", 1);
        std::lock_guard lock(state.mutex);
        state.faults.push_back(f);
        res.set_content("{}", "application/json");
    });
    server.Post("/admin/messages", [](const httplib::Request& req, httplib::Response& res) {
        const auto j = json::parse(req.body, nullptr, false);
        const int count = j.is_object() ? j.value("count", 1) : 1;
        const std::string tip = j.is_object() ? j.value("tip", "FACTURA PRIMITA") : "FACTURA PRIMITA";
        json added = json::array();
        for (const auto& m : mailbox->add(count, tip)) added.push_back(entry(m));
        res.set_content(added.dump(), "application/json");
    });
    server.Post("/admin/tokens", [](const httplib::Request& req, httplib::Response& res) {
        const auto j = json::parse(req.body, nullptr, false);
        if (!j.is_object() || !j.contains("token")) return jsonAnswer(res, 400, {{"error", "token required"}});
        std::lock_guard lock(state.mutex);
        state.tokens.insert(j.value("token", ""));
        res.set_content("{}", "application/json");
    });
    server.Post("/admin/page-size", [](const httplib::Request& req, httplib::Response& res) {
        const auto j = json::parse(req.body, nullptr, false);
        std::lock_guard lock(state.mutex);
        if (j.is_object()) state.pageSize = std::max(1, j.value("size", 500));
        res.set_content("{}", "application/json");
    });
}

std::unique_ptr<httplib::Server> makeTls(const std::string& certs, bool requireClientCert) {
    auto server = std::make_unique<httplib::SSLServer>([&, requireClientCert](SSL_CTX& ctx) {
        SSL_CTX_set_min_proto_version(&ctx, TLS1_2_VERSION);
        if (SSL_CTX_use_certificate_chain_file(&ctx, (certs + "/server.pem").c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(&ctx, (certs + "/server.key").c_str(), SSL_FILETYPE_PEM) != 1)
            return false;
        if (requireClientCert) {
            if (SSL_CTX_load_verify_locations(&ctx, (certs + "/ca.pem").c_str(), nullptr) != 1) return false;
            SSL_CTX_set_client_CA_list(&ctx, SSL_load_client_CA_file((certs + "/ca.pem").c_str()));
            SSL_CTX_set_verify(&ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
            static const unsigned char context[] = "anaf-standin";
            SSL_CTX_set_session_id_context(&ctx, context, sizeof context - 1);
            SSL_CTX_set_options(&ctx, SSL_OP_NO_TICKET);
        }
        return true;
    });
    return server;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::string certs;
    standin::MailboxOptions options;
    int basePort = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "missing value for " << a << "\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--certs") certs = next();
        else if (a == "--messages") options.messages = std::stoi(next());
        else if (a == "--days") options.days = std::stoi(next());
        else if (a == "--seed") options.seed = std::stoull(next());
        else if (a == "--cif") options.cif = next();
        else if (a == "--now") options.now = std::stoll(next());
        else if (a == "--page-size") state.pageSize = std::max(1, std::stoi(next()));
        else if (a == "--base-port") basePort = std::stoi(next());
        else if (a == "--token") state.tokens.insert(next());
        else {
            std::cerr << "usage: anaf-standin --certs DIR [--messages N] [--days D] [--seed S] [--cif C] "
                         "[--page-size P] [--base-port P] [--token T]...\n";
            return 2;
        }
    }
    if (certs.empty()) {
        std::cerr << "--certs DIR is required (made by tools/make-test-certs)\n";
        return 2;
    }
    mailbox = std::make_unique<standin::Mailbox>(options);

    const std::vector<std::pair<std::string, bool>> tlsRoles = {
        {"api", false}, {"cert", true}, {"public", false}, {"login", false},
        {"callback", false}, {"timeapi", false}, {"contribuabili", false}};
    std::vector<std::pair<std::string, std::unique_ptr<httplib::Server>>> servers;
    for (const auto& [role, clientCert] : tlsRoles) servers.emplace_back(role, makeTls(certs, clientCert));
    servers.emplace_back("worldtimeapi", std::make_unique<httplib::Server>());
    servers.emplace_back("admin", std::make_unique<httplib::Server>());

    json ready = json::object();
    int offset = 0;
    for (auto& [role, server] : servers) {
        if (!server->is_valid()) {
            std::cerr << "cannot set up TLS for " << role << " with the certificates in " << certs << "\n";
            return 1;
        }
        const std::string r = role;
        if (r == "admin") admin(*server);
        else {
            auto handler = [r](const httplib::Request& req, httplib::Response& res) { route(r, req, res); };
            server->Get(".*", handler);
            server->Post(".*", handler);
            server->Put(".*", handler);
            server->Delete(".*", handler);
        }
        server->set_tcp_nodelay(true);  // no 40 ms Nagle pauses between a client and a loopback answer
        server->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            jsonAnswer(res, 500, {{"error", "stand-in error"}});
        });
        int port = basePort ? basePort + offset++ : server->bind_to_any_port("127.0.0.1");
        if (basePort && !server->bind_to_port("127.0.0.1", port)) {
            std::cerr << "port " << port << " is taken\n";
            return 1;
        }
        if (port <= 0) {
            std::cerr << "cannot bind " << role << "\n";
            return 1;
        }
        const bool plain = r == "worldtimeapi" || r == "admin";
        std::string url = std::string(plain ? "http" : "https") + "://127.0.0.1:" + std::to_string(port);
        if (r == "contribuabili") url += "/api/PlatitorTvaRest/v9/tva";
        ready[r] = url;
    }
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::vector<std::thread> threads;
    for (auto& [role, server] : servers) threads.emplace_back([s = server.get()] { s->listen_after_bind(); });
    std::cout << ready.dump() << std::endl;

    int sig = 0;
    sigwait(&set, &sig);
    for (auto& [role, server] : servers) server->stop();
    for (auto& t : threads) t.join();
    return 0;
}
