// Every request of every role passes here: it is logged, a queued fault may answer it, the API
// host checks the bearer token, and then the role's handlers answer.

#include <chrono>
#include <thread>

#include "clock.h"
#include "http_util.h"
#include "standin.h"

namespace standin {
namespace {

std::string foldSlashes(const std::string& path) {
    std::string out;
    for (char c : path)
        if (c != '/' || out.empty() || out.back() != '/') out += c;
    return out;
}

// Answers the request from the fault when the fault says so.
bool applyFault(const Fault& f, const Call& c) {
    if (f.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(f.delayMs));
    if (f.drop) {
        dropConnection(c.req);
        return true;
    }
    if (!f.eroare.empty()) {
        const bool download = c.path.find("/descarcare") != std::string::npos;
        answerJson(c.res, f.status ? f.status : 200,
                   {{"eroare", f.eroare}, {"titlu", download ? "Descarcare mesaj" : "Lista Mesaje"}});
        return true;
    }
    if (f.answersItself()) {
        c.res.status = f.status ? f.status : 200;
        c.res.set_content(f.body, f.contentType.empty() ? "application/json" : f.contentType);
        return true;
    }
    return false;
}

void gatewayError(httplib::Response& res, int status, const std::string& message) {
    answerJson(res, status, {{"Errors", {{{"errorMessage", message}}}}, {"status", status}, {"trace_id", traceId()}});
}

// The OAuth gateway in front of the API host, and the certificate host's own check.
bool authorized(Standin& s, const Call& c) {
    if (c.role == "cert" && peerSerial(c.req).empty()) {
        // The handshake already demands a certificate; this only guards a misconfigured server.
        gatewayError(c.res, 403, "Accesul necesita un certificat digital calificat");
        return false;
    }
    if (c.role != "api") return true;
    const std::string auth = c.req.get_header_value("Authorization");
    const bool bearer = auth.size() > 7 && auth.compare(0, 7, "Bearer ") == 0;
    if (!bearer) {
        c.res.set_header("WWW-Authenticate", "Bearer realm=\"anaf\"");
        gatewayError(c.res, 401, "Lipseste tokenul de acces (Authorization: Bearer)");
        return false;
    }
    if (!s.oauth.accepts(auth.substr(7))) {
        c.res.set_header("WWW-Authenticate", "Bearer realm=\"anaf\", error=\"invalid_token\"");
        gatewayError(c.res, 403, "Tokenul de acces este invalid, expirat sau revocat");
        return false;
    }
    return true;
}

}  // namespace

void handle(Standin& s, const std::string& role, const httplib::Request& req, httplib::Response& res) {
    s.log.record(role, req, peerSerial(req));
    const std::optional<Fault> fault = s.faults.take(role, req.method, req.path);
    Call c{role, req, res, foldSlashes(req.path), fault ? &*fault : nullptr};
    if (fault && applyFault(*fault, c)) return;
    if (!authorized(s, c)) return;
    if (serveEfactura(s, c) || serveEtransport(s, c) || serveOAuth(s, c) || serveServices(s, c)) return;
    answerJson(res, 404, {{"timestamp", formatLocal(s.clock.now(), "%Y-%m-%dT%H:%M:%S")},
                          {"status", 404},
                          {"error", "Not Found"},
                          {"message", "No message available"},
                          {"path", c.path}});
}

}  // namespace standin
