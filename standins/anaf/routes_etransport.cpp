// e-Transport on the API and certificate hosts: declarations (notification, correction,
// deletion, confirmation, vehicle change), their state, and the list of the last days.

#include <sstream>
#include <vector>

#include "clock.h"
#include "http_util.h"
#include "standin.h"

namespace standin {
namespace {

using nlohmann::ordered_json;

std::vector<std::string> segments(const std::string& path) {
    std::vector<std::string> out;
    std::stringstream in(path);
    std::string part;
    while (std::getline(in, part, '/'))
        if (!part.empty()) out.push_back(part);
    return out;
}

void refuse(Standin& s, Call& c, const std::vector<std::string>& errors) {
    ordered_json list = ordered_json::array();
    for (const auto& e : errors) list.push_back({{"errorMessage", e}});
    answerJson(c.res, 200, {{"dateResponse", stamp12(s.clock.now())}, {"ExecutionStatus", 1}, {"Errors", list},
                            {"trace_id", traceId()}});
}

// upload/ETRANSP/{cif}/2
void upload(Standin& s, Call& c, const std::vector<std::string>& args) {
    if (args.size() != 4 || args[1] != "ETRANSP") return refuse(s, c, {"Standardul declaratiei trebuie sa fie ETRANSP"});
    if (!isDigits(args[2], 13)) return refuse(s, c, {"CIF introdus= " + args[2] + " nu este un numar"});
    if (args[3] != "2") return refuse(s, c, {"Versiunea " + args[3] + " a schemei nu este acceptata; versiunea curenta este 2"});
    Declaration d;
    const auto errors = s.transports.file(c.req.body, args[2], s.clock.now(), d);
    if (!errors.empty()) return refuse(s, c, errors);
    ordered_json answer = {{"dateResponse", stamp12(d.createdAt)},
                           {"ExecutionStatus", 0},
                           {"index_incarcare", std::stoll(d.index)}};
    if (d.action == "notificare") answer["UIT"] = d.uit;
    answer["trace_id"] = traceId();
    answerJson(c.res, 200, answer);
}

// stareMesaj/{index}
void state(Standin& s, Call& c, const std::vector<std::string>& args) {
    const std::string index = args.size() == 2 ? args[1] : "";
    const auto d = isDigits(index, 18) ? s.transports.find(index) : std::nullopt;
    ordered_json answer = {{"stare", d ? d->stare : "nok"}, {"dateResponse", stamp12(s.clock.now())}};
    if (!d) answer["Errors"] = {{{"errorMessage", "Nu exista declaratie cu index_incarcare=" + index}}};
    else if (!d->errors.empty()) answer["Errors"] = d->errors;
    answer["trace_id"] = traceId();
    answerJson(c.res, 200, answer);
}

// lista/{zile}/{cif}
void list(Standin& s, Call& c, const std::vector<std::string>& args) {
    const long long days = args.size() == 3 ? toNumber(args[1], 1, 60, 0) : 0;
    const std::string cif = args.size() == 3 ? args[2] : "";
    const auto error = [&](const std::string& message) {
        answerJson(c.res, 200, {{"Errors", {{{"errorMessage", message}}}}, {"trace_id", traceId()}});
    };
    if (days == 0) return error("Numarul de zile trebuie sa fie intre 1 si 60");
    if (!isDigits(cif, 13)) return error("CIF introdus= " + cif + " nu este un numar");
    ordered_json mesaje = ordered_json::array();
    for (const auto& d : s.transports.since(cif, s.clock.now() - days * 86400))
        mesaje.push_back({{"uit", d.uit},
                          {"cod_decl", d.cif},
                          {"ref_decl", d.reference},
                          {"sursa", "ETRANSP"},
                          {"id_incarcare", d.index},
                          {"data_creare", stamp12(d.createdAt)},
                          {"tip_op", d.action},
                          {"stare", d.stare},
                          {"nr_veh", d.vehicle}});
    answerJson(c.res, 200, {{"mesaje", mesaje}, {"serial", "1234AA456"}, {"cui", cif}, {"titlu", "Lista Mesaje"},
                            {"trace_id", traceId()}});
}

}  // namespace

bool serveEtransport(Standin& s, Call& c) {
    if (c.role != "api" && c.role != "cert") return false;
    const auto parts = segments(c.path);
    if (parts.size() < 5 || (parts[0] != "prod" && parts[0] != "test") || parts[1] != "ETRANSPORT" || parts[2] != "ws" ||
        parts[3] != "v1")
        return false;
    const std::vector<std::string> args(parts.begin() + 4, parts.end());
    const std::string& op = args[0];
    const char* method = op == "upload" ? "POST" : "GET";
    if (op != "upload" && op != "stareMesaj" && op != "lista") return false;
    if (c.req.method != method) {
        answerJson(c.res, 405, {{"status", 405}, {"error", "Method Not Allowed"}, {"path", c.path}});
        return true;
    }
    if (op == "upload") upload(s, c, args);
    else if (op == "stareMesaj") state(s, c, args);
    else list(s, c, args);
    return true;
}

}  // namespace standin
