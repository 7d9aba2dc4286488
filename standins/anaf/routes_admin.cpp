// The admin interface (plain HTTP on loopback) through which tests steer the stand-in: the
// request log, faults, new messages, tokens, OAuth clients, page size, reset. README.md lists
// the calls.

#include <algorithm>

#include "http_util.h"
#include "standin.h"

namespace standin {
namespace {

using nlohmann::json;

const char* const kTypes[] = {"FACTURA PRIMITA", "FACTURA TRIMISA", "ERORI FACTURA", "MESAJ CUMPARATOR PRIMIT",
                              "MESAJ CUMPARATOR TRANSMIS"};

void ok(httplib::Response& res, const nlohmann::ordered_json& body = nlohmann::ordered_json::object()) {
    answerJson(res, 200, body);
}

void bad(httplib::Response& res, const std::string& why) { answerJson(res, 400, {{"error", why}}); }

// The request's JSON object; an empty body reads as {}.
bool object(const httplib::Request& req, httplib::Response& res, json& out) {
    out = req.body.empty() ? json::object() : json::parse(req.body, nullptr, false);
    if (out.is_object()) return true;
    bad(res, "the body must be a JSON object");
    return false;
}

bool text(const json& j, const char* key, std::string& out) {
    if (!j.contains(key)) return false;
    if (!j[key].is_string()) return false;
    out = j[key].get<std::string>();
    return true;
}

void addMessages(Standin& s, const httplib::Request& req, httplib::Response& res) {
    json j;
    if (!object(req, res, j)) return;
    const json count = j.value("count", json(1));
    std::string tip = "FACTURA PRIMITA", cif;
    if (!count.is_number_integer() || count.get<long long>() < 1 || count.get<long long>() > 100000)
        return bad(res, "count: 1 to 100000");
    if (j.contains("tip") && (!text(j, "tip", tip) || std::find(std::begin(kTypes), std::end(kTypes), tip) == std::end(kTypes)))
        return bad(res, "tip: one of the five SPV message types");
    if (j.contains("cif") && (!text(j, "cif", cif) || !isDigits(cif, 13))) return bad(res, "cif: digits");
    nlohmann::ordered_json added = nlohmann::ordered_json::array();
    for (const auto& m : s.mailbox.add(count.get<int>(), tip, cif))
        added.push_back({{"data_creare", m.dataCreare}, {"cif", m.cif}, {"id_solicitare", m.idSolicitare},
                         {"detalii", m.detalii}, {"tip", m.tip}, {"id", m.id}});
    ok(res, added);
}

void tokens(Standin& s, const httplib::Request& req, httplib::Response& res) {
    json j;
    if (!object(req, res, j)) return;
    std::string token;
    if (j.contains("revoke")) {
        if (!text(j, "revoke", token) || token.empty()) return bad(res, "revoke: a token");
        s.oauth.revoke(token);
        return ok(res, {{"revoked", token}});
    }
    if (j.contains("token")) {
        if (!text(j, "token", token) || token.empty()) return bad(res, "token: a non-empty text");
        s.oauth.allow(token);
        return ok(res, {{"access_token", token}});
    }
    std::string client = "admin";
    text(j, "client_id", client);
    const auto [access, refresh] = s.oauth.issue(client);
    ok(res, {{"access_token", access}, {"refresh_token", refresh}});
}

void clients(Standin& s, const httplib::Request& req, httplib::Response& res) {
    json j;
    if (!object(req, res, j)) return;
    std::string id, secret, redirect;
    if (!text(j, "client_id", id) || id.empty() || !text(j, "client_secret", secret) || secret.empty() ||
        !text(j, "redirect_uri", redirect) || redirect.empty())
        return bad(res, "client_id, client_secret and redirect_uri are required");
    s.oauth.registerClient(id, {secret, redirect});
    ok(res);
}

}  // namespace

void installAdmin(Standin& s, httplib::Server& server) {
    server.Get("/admin/requests", [&s](const httplib::Request&, httplib::Response& res) {
        res.set_content(s.log.dump(), "application/json");
    });
    server.Post("/admin/clear-log", [&s](const httplib::Request&, httplib::Response& res) {
        s.log.clear();
        ok(res);
    });
    server.Post("/admin/reset", [&s](const httplib::Request&, httplib::Response& res) {
        s.reset();
        ok(res);
    });
    server.Post("/admin/fault", [&s](const httplib::Request& req, httplib::Response& res) {
        std::string error;
        auto fault = Fault::fromJson(json::parse(req.body, nullptr, false), error);
        if (!fault) return bad(res, error);
        s.faults.push(std::move(*fault));
        ok(res);
    });
    server.Get("/admin/faults", [&s](const httplib::Request&, httplib::Response& res) {
        res.set_content(s.faults.list().dump(), "application/json");
    });
    server.Post("/admin/clear-faults", [&s](const httplib::Request&, httplib::Response& res) {
        s.faults.clear();
        ok(res);
    });
    server.Post("/admin/messages", [&s](const httplib::Request& req, httplib::Response& res) { addMessages(s, req, res); });
    server.Post("/admin/tokens", [&s](const httplib::Request& req, httplib::Response& res) { tokens(s, req, res); });
    server.Post("/admin/clients", [&s](const httplib::Request& req, httplib::Response& res) { clients(s, req, res); });
    server.Post("/admin/page-size", [&s](const httplib::Request& req, httplib::Response& res) {
        json j;
        if (!object(req, res, j)) return;
        const json size = j.value("size", json());
        if (!size.is_number_integer() || size.get<long long>() < 1 || size.get<long long>() > 100000)
            return bad(res, "size: 1 to 100000");
        s.pageSize = size.get<int>();
        ok(res);
    });
}

}  // namespace standin
