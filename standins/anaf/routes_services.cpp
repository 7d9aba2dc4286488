// The services around ANAF: the two public time services and the taxpayer-information service
// ("contribuabili", ANAF's PlatitorTvaRest v9). The time services answer the stand-in's local
// time (its TZ) whatever zone is asked, so that a client on the same machine agrees with them.

#include <ctime>

#include "clock.h"
#include "documents.h"
#include "http_util.h"
#include "standin.h"

namespace standin {
namespace {

using nlohmann::ordered_json;

struct Now {
    std::tm local{}, utc{};
    std::int64_t seconds = 0;
    long micros = 0;
};

Now nowParts(const Clock& clock) {
    Now n;
    const auto point = clock.nowPoint();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(point.time_since_epoch()).count();
    n.seconds = us / 1000000;
    n.micros = static_cast<long>(us % 1000000);
    const auto t = static_cast<std::time_t>(n.seconds);
    localtime_r(&t, &n.local);
    gmtime_r(&t, &n.utc);
    return n;
}

std::string format(const std::tm& tm, const char* pattern) {
    char buf[64];
    return std::string(buf, std::strftime(buf, sizeof buf, pattern, &tm));
}

std::string offsetText(long seconds) {
    char buf[48];
    const long a = seconds < 0 ? -seconds : seconds;
    std::snprintf(buf, sizeof buf, "%c%02ld:%02ld", seconds < 0 ? '-' : '+', a / 3600, (a % 3600) / 60);
    return buf;
}

void timeapi(Standin& s, Call& c) {
    const std::string zone = c.param("timeZone");
    if (zone.empty())
        return answerJson(c.res, 400, {{"type", "https://tools.ietf.org/html/rfc7231#section-6.5.1"},
                                       {"title", "One or more validation errors occurred."},
                                       {"status", 400},
                                       {"errors", {{"timeZone", {"The TimeZone field is required."}}}}});
    const Now n = nowParts(s.clock);
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%06ld0", n.micros);  // seven digits, as the service writes
    answerJson(c.res, 200, {{"year", n.local.tm_year + 1900},
                            {"month", n.local.tm_mon + 1},
                            {"day", n.local.tm_mday},
                            {"hour", n.local.tm_hour},
                            {"minute", n.local.tm_min},
                            {"seconds", n.local.tm_sec},
                            {"milliSeconds", n.micros / 1000},
                            {"dateTime", format(n.local, "%Y-%m-%dT%H:%M:%S") + fraction},
                            {"date", format(n.local, "%m/%d/%Y")},
                            {"time", format(n.local, "%H:%M")},
                            {"timeZone", zone},
                            {"dayOfWeek", format(n.local, "%A")},
                            {"dstActive", n.local.tm_isdst > 0}});
}

void worldtimeapi(Standin& s, Call& c, const std::string& zone) {
    const Now n = nowParts(s.clock);
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%06ld", n.micros);
    const long offset = n.local.tm_gmtoff;
    const long dst = n.local.tm_isdst > 0 ? 3600 : 0;
    answerJson(c.res, 200, {{"abbreviation", format(n.local, "%Z")},
                            {"client_ip", c.req.remote_addr},
                            {"datetime", format(n.local, "%Y-%m-%dT%H:%M:%S") + fraction + offsetText(offset)},
                            {"day_of_week", n.local.tm_wday},
                            {"day_of_year", n.local.tm_yday + 1},
                            {"dst", dst != 0},
                            {"dst_from", nullptr},
                            {"dst_offset", dst},
                            {"dst_until", nullptr},
                            {"raw_offset", offset - dst},
                            {"timezone", zone},
                            {"unixtime", n.seconds},
                            {"utc_datetime", format(n.utc, "%Y-%m-%dT%H:%M:%S") + fraction + "+00:00"},
                            {"utc_offset", offsetText(offset)},
                            {"week_number", std::stoi(format(n.local, "%V"))}});
}

// Romanian tax ids carry a check digit (weights 753217532).
bool validCui(long long cui) {
    if (cui < 10 || cui > 9999999999LL) return false;
    const std::string digits = std::to_string(cui);
    const std::string body = std::string(10 - digits.size(), '0') + digits.substr(0, digits.size() - 1);
    static const int weights[] = {7, 5, 3, 2, 1, 7, 5, 3, 2};
    int sum = 0;
    for (int i = 0; i < 9; ++i) sum += (body[static_cast<std::size_t>(i)] - '0') * weights[i];
    const int check = sum * 10 % 11 % 10;
    return check == digits.back() - '0';
}

ordered_json taxpayer(const Party& p, long long cui, const std::string& date) {
    return {{"date_generale",
             {{"cui", cui}, {"data", date}, {"denumire", p.name}, {"adresa", p.city + ", " + p.street},
              {"nrRegCom", p.regCom}, {"telefon", ""}, {"fax", ""}, {"codPostal", ""}, {"act", ""},
              {"stare_inregistrare", "INREGISTRAT din data 01.03.2010"}, {"data_inregistrare", "2010-03-01"},
              {"cod_CAEN", "4690"}, {"iban", p.iban}, {"statusRO_e_Factura", true},
              {"organFiscalCompetent", "Administratia Judeteana a Finantelor Publice"},
              {"forma_de_proprietate", "PROPR.PRIVATA-CAPITAL PRIVAT AUTOHTON"},
              {"forma_organizare", "PERSOANA JURIDICA"}, {"forma_juridica", "SOCIETATE COMERCIALA CU RASPUNDERE LIMITATA"}}},
            {"inregistrare_scop_Tva",
             {{"scpTVA", p.vatPrefix == "RO"},
              {"perioade_TVA", p.vatPrefix == "RO" ? ordered_json::array({{{"data_inceput_ScpTVA", "2010-03-01"},
                                                                           {"data_sfarsit_ScpTVA", ""},
                                                                           {"data_anul_imp_ScpTVA", ""},
                                                                           {"mesaj_ScpTVA", ""}}})
                                                   : ordered_json::array()}}},
            {"inregistrare_RTVAI", {{"dataInceputTvaInc", ""}, {"dataSfarsitTvaInc", ""}, {"statusTvaIncasare", false}}},
            {"stare_inactiv", {{"dataInactivare", ""}, {"dataReactivare", ""}, {"dataRadiere", ""}, {"statusInactivi", false}}},
            {"inregistrare_SplitTVA", {{"dataInceputSplitTVA", ""}, {"dataAnulareSplitTVA", ""}, {"statusSplitTVA", false}}},
            {"adresa_sediu_social",
             {{"sdenumire_Strada", p.street}, {"sdenumire_Localitate", p.city}, {"scod_JudetAuto", p.county.substr(3)},
              {"stara", "România"}}}};
}

bool isIsoDate(const std::string& s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    std::tm tm{};
    return strptime(s.c_str(), "%Y-%m-%d", &tm) != nullptr && tm.tm_mon < 12 && tm.tm_mday >= 1;
}

void contribuabili(Standin& s, Call& c) {
    const auto refuse = [&](const std::string& message) {
        answerJson(c.res, 400, {{"cod", 400}, {"message", message}});
    };
    const auto body = nlohmann::json::parse(c.req.body, nullptr, false);
    if (!body.is_array() || body.empty())
        return refuse("Cererea trebuie sa fie o lista JSON de forma [{\"cui\": 123456, \"data\": \"AAAA-LL-ZZ\"}]");
    if (body.size() > 100) return refuse("Numarul maxim de CUI-uri intr-o cerere este 100");
    ordered_json found = ordered_json::array(), notFound = ordered_json::array();
    for (const auto& q : body) {
        if (!q.is_object() || !q.contains("cui") || !q["cui"].is_number_integer() || !q.contains("data") ||
            !q["data"].is_string() || !isIsoDate(q["data"].get<std::string>()))
            return refuse("Fiecare element trebuie sa aiba cui (numar) si data (AAAA-LL-ZZ)");
        const long long cui = q["cui"].get<long long>();
        Party p;
        if (knownParty(std::to_string(cui), s.mailbox.cif(), p)) {
            found.push_back(taxpayer(p, cui, q["data"].get<std::string>()));
        } else if (validCui(cui)) {
            p = {"Contribuabil " + std::to_string(cui) + " SRL", std::to_string(cui), "RO", "Bucuresti", "RO-B",
                 "Str. Necunoscuta 1", "J40/1/2000", ""};
            found.push_back(taxpayer(p, cui, q["data"].get<std::string>()));
        } else {
            notFound.push_back(cui);
        }
    }
    answerJson(c.res, 200, {{"cod", 200}, {"message", "SUCCESS"}, {"found", found}, {"notFound", notFound}});
}

}  // namespace

bool serveServices(Standin& s, Call& c) {
    if (c.role == "timeapi" && c.path == "/api/Time/current/zone") {
        if (c.req.method == "GET") timeapi(s, c);
        else answerJson(c.res, 405, {{"status", 405}, {"title", "Method Not Allowed"}});
        return true;
    }
    if (c.role == "worldtimeapi" && c.path.rfind("/api/timezone/", 0) == 0) {
        const std::string zone = c.path.substr(14);
        if (zone == "Europe/Bucharest") worldtimeapi(s, c, zone);
        else answerJson(c.res, 404, {{"error", "unknown location"}});
        return true;
    }
    if (c.role == "contribuabili" && c.path == "/api/PlatitorTvaRest/v9/tva") {
        if (c.req.method == "POST") contribuabili(s, c);
        else answerJson(c.res, 405, {{"cod", 405}, {"message", "Metoda permisa: POST"}});
        return true;
    }
    return false;
}

}  // namespace standin
