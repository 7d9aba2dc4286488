#include <nlohmann/json.hpp>

#include "anaf/u_fProcAnaf.h"
#include "data/u_dmCon.h"

std::string TfProcAnaf::epochMillisText(platform::time::LocalDateTime t) {
    using namespace std::chrono;
    const auto instant = platform::time::fromLocal(floor<seconds>(t));
    return std::to_string(duration_cast<seconds>(instant.time_since_epoch()).count()) + "000";
}

void TfProcAnaf::listRequestApi(const std::string& resource,
                                std::vector<std::pair<std::string, std::string>> params, int& statusCode,
                                std::string& statusText, std::string& content) {
    const std::string token = GetUserAccessToken(dmCon->glUser, "eFact");
    prepareAnafSet(AnafApiBaseUrl, resource, "GET", "application/json", &token);
    RESTClientAnaf.params = std::move(params);
    RESTClientAnaf.execute(certificateChooser());
    RESTClientAnaf.headers.clear();  // the token is used for one request only
    statusCode = RESTClientAnaf.statusCode;
    statusText = RESTClientAnaf.statusText;
    content = RESTClientAnaf.content;
}

void TfProcAnaf::GetListaMesaje(const std::string& urlMod, const std::string& nrZile, const std::string& cif,
                                int& statusCode, std::string& statusText, std::string& content) {
    statusText.clear();
    content.clear();
    NetHTTPClient1.userAgent.clear();
    NetHTTPClient1.contentType.clear();
    const auto r = NetHTTPClient1.get(AnafCertBaseUrl + "/" + platform::http::encodeUnsafe(urlMod) +
                                          "/FCTEL/rest/listaMesajeFactura?zile=" +
                                          platform::http::encodeUnsafe(nrZile) +
                                          "&cif=" + platform::http::encodeUnsafe(cif),
                                      certificateChooser());
    statusCode = r.statusCode;
    statusText = r.statusText;
    content = r.body;
}

void TfProcAnaf::GetListaMesajeApi(const std::string& urlMod, const std::string& nrZile, const std::string& cif,
                                   int& statusCode, std::string& statusText, std::string& content) {
    statusText.clear();
    content.clear();
    listRequestApi("/" + urlMod + "/FCTEL/rest/listaMesajeFactura", {{"zile", nrZile}, {"cif", cif}}, statusCode,
                   statusText, content);
}

void TfProcAnaf::GetListaMesajeCuPag(const std::string& urlMod, platform::time::LocalDateTime startTime,
                                     platform::time::LocalDateTime endTime, const std::string& cif,
                                     const std::string& nrPag, int& statusCode, std::string& statusText,
                                     std::string& content) {
    statusText.clear();
    content.clear();
    NetHTTPClient1.userAgent.clear();
    NetHTTPClient1.contentType.clear();
    using platform::http::encodeUnsafe;
    const auto r = NetHTTPClient1.get(AnafCertBaseUrl + "/" + encodeUnsafe(urlMod) +
                                          "/FCTEL/rest/listaMesajePaginatieFactura?startTime=" +
                                          epochMillisText(startTime) + "&endTime=" + epochMillisText(endTime) +
                                          "&cif=" + encodeUnsafe(cif) + "&pagina=" + encodeUnsafe(nrPag),
                                      certificateChooser());
    statusCode = r.statusCode;
    statusText = r.statusText;
    content = r.body;
}

void TfProcAnaf::GetListaMesajeCuPagApi(const std::string& urlMod, platform::time::LocalDateTime startTime,
                                        platform::time::LocalDateTime endTime, const std::string& cif,
                                        const std::string& nrPag, int& statusCode, std::string& statusText,
                                        std::string& content) {
    statusText.clear();
    content.clear();
    listRequestApi("/" + urlMod + "/FCTEL/rest/listaMesajePaginatieFactura",
                   {{"startTime", epochMillisText(startTime)},
                    {"endTime", epochMillisText(endTime)},
                    {"cif", cif},
                    {"pagina", nrPag}},
                   statusCode, statusText, content);
}

void TfProcAnaf::ListaMesajeToDs(const std::string& strListaMesaje, const std::string& pClientFurn,
                                 platform::memtable::MemTable& ds) {
    const auto json = nlohmann::json::parse(strListaMesaje, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        throw AnafError("(ListaMesajeToDs) Raspunsul ANAF nu este un obiect JSON.");
    if (const auto e = json.find("eroare"); e != json.end())
        throw AnafError(e->is_string() ? e->get<std::string>() : e->dump());
    if (const auto e = json.find("Errors"); e != json.end() && e->is_array() && !e->empty()) {
        const auto& first = (*e)[0];
        const auto m = first.is_object() ? first.find("errorMessage") : first.end();
        throw AnafError(first.is_object() && m != first.end() && m->is_string() ? m->get<std::string>()
                                                                                : first.dump());
    }
    const auto messages = json.find("mesaje");
    if (messages == json.end() || !messages->is_array())
        throw AnafError("(ListaMesajeToDs) Raspunsul ANAF nu contine lista \"mesaje\".");
    static const char* const fields[] = {"data_creare", "cif", "id_solicitare", "detalii", "tip", "id"};
    for (const char* f : fields)
        if (ds.fieldIndex(f) < 0)
            throw AnafError(std::string("(ListaMesajeToDs) Tabela nu are campul \"") + f + "\".");
    if (!ds.isOpen()) ds.open();
    for (const auto& entry : *messages) {
        auto text = [&](const char* name) -> std::optional<std::string> {
            if (!entry.is_object()) return std::nullopt;
            const auto it = entry.find(name);
            if (it == entry.end() || it->is_null()) return std::nullopt;
            return it->is_string() ? it->get<std::string>() : it->dump();
        };
        const auto tip = text("tip");
        const bool supplier = tip && *tip == "FACTURA PRIMITA";
        const bool passes = pClientFurn == "Toate" || (pClientFurn == "Furn" && supplier) ||
                            (pClientFurn == "Client" && !supplier);
        if (!passes) continue;
        std::vector<std::string> values;
        for (const char* f : fields) {
            const auto v = text(f);
            if (!v) throw AnafError(std::string("(ListaMesajeToDs) Mesajul din lista nu are campul \"") + f + "\".");
            values.push_back(*v);
        }
        ds.append();
        for (size_t i = 0; i < values.size(); ++i) ds.setField(fields[i], values[i]);
        ds.post();
    }
}
