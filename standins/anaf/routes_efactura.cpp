// e-Factura (FCTEL) on the API and certificate hosts: the two lists, the download, the uploads
// and their status; validation and transformation also on the public host.

#include <limits>

#include "archive.h"
#include "documents.h"
#include "http_util.h"
#include "standin.h"
#include "ubl_reader.h"

namespace standin {
namespace {

using nlohmann::ordered_json;

const char* const kSerial = "1234AA456";

ordered_json entry(const Message& m) {
    return {{"data_creare", m.dataCreare}, {"cif", m.cif}, {"id_solicitare", m.idSolicitare},
            {"detalii", m.detalii},        {"tip", m.tip}, {"id", m.id}};
}

// The environment and the rest of an FCTEL path: "/prod/FCTEL/rest/descarcare" -> "descarcare".
bool fctel(const std::string& path, std::string& rest) {
    for (const char* env : {"/prod/FCTEL/rest/", "/test/FCTEL/rest/"})
        if (path.rfind(env, 0) == 0) {
            rest = path.substr(std::char_traits<char>::length(env));
            return true;
        }
    return false;
}

bool rightsFor(Standin& s, Call& c, const std::string& cif, const char* titlu) {
    if (!isDigits(cif, 13)) {
        answerEroare(c.res, "CIF introdus= " + cif + " nu este un numar", titlu);
        return false;
    }
    if (!s.mailbox.serves(cif)) {
        answerEroare(c.res, "Nu aveti drept in SPV pentru CIF=" + cif, titlu);
        return false;
    }
    return true;
}

void listByDays(Standin& s, Call& c) {
    const std::string zile = c.param("zile"), cif = c.param("cif");
    if (!rightsFor(s, c, cif, "Lista Mesaje")) return;
    const long long days = toNumber(zile, 1, 60, 0);
    if (days == 0) return answerEroare(c.res, "Numarul de zile trebuie sa fie intre 1 si 60", "Lista Mesaje");
    const std::int64_t now = s.clock.now();
    const std::size_t limit = static_cast<std::size_t>(s.pageSize.load());
    const auto page = s.mailbox.list(cif, now - days * 86400, now, 0, limit + 1);
    if (page.total == 0) return answerEroare(c.res, "Nu exista mesaje in ultimele " + zile + " zile", "Lista Mesaje");
    if (page.total > limit)
        return answerEroare(c.res,
                            "Lista de mesaje este mai mare decat numarul de " + std::to_string(limit) +
                                " elemente permise in pagina. Folositi endpoint-ul cu paginatie.",
                            "Lista Mesaje");
    ordered_json mesaje = ordered_json::array();
    for (const auto& m : page.messages) mesaje.push_back(entry(m));
    answerJson(c.res, 200, {{"mesaje", mesaje}, {"serial", kSerial}, {"cui", cif},
                            {"titlu", "Lista Mesaje disponibile din ultimele " + zile + " zile"}});
}

// "filtru": E errors, T sent, P received, R buyer messages.
bool passes(const Message& m, const std::string& filtru) {
    if (filtru.empty()) return true;
    if (filtru == "E") return m.tip == "ERORI FACTURA";
    if (filtru == "T") return m.tip == "FACTURA TRIMISA";
    if (filtru == "P") return m.tip == "FACTURA PRIMITA";
    return m.tip.rfind("MESAJ CUMPARATOR", 0) == 0;
}

void listPaged(Standin& s, Call& c) {
    const std::string start = c.param("startTime"), end = c.param("endTime");
    const std::string cif = c.param("cif"), pagina = c.param("pagina"), filtru = c.param("filtru");
    const char* titlu = "Lista Mesaje";
    if (!isDigits(start, 15) || !isDigits(end, 15))
        return answerEroare(c.res, "startTime si endTime trebuie sa fie date in milisecunde (numere intregi)", titlu);
    if (!rightsFor(s, c, cif, titlu)) return;
    const long long p = toNumber(pagina, 1, 1000000000, 0);
    if (p == 0) return answerEroare(c.res, "Numarul paginii (pagina) trebuie sa fie un numar intreg pozitiv", titlu);
    const std::int64_t from = std::stoll(start) / 1000, to = std::stoll(end) / 1000;
    if (from > to) return answerEroare(c.res, "endTime nu poate fi mai mic decat startTime", titlu);
    if (c.req.has_param("filtru") && filtru != "E" && filtru != "T" && filtru != "P" && filtru != "R")
        return answerEroare(c.res, "Valorile acceptate pentru parametrul filtru sunt E, T, P sau R", titlu);

    const auto size = static_cast<std::size_t>(s.pageSize.load());
    const auto first = static_cast<std::size_t>(p - 1) * size;
    Mailbox::Page page;
    if (filtru.empty()) {
        page = s.mailbox.list(cif, from, to, first, size);
    } else {
        auto all = s.mailbox.list(cif, from, to, 0, std::numeric_limits<std::size_t>::max());
        for (auto& m : all.messages)
            if (passes(m, filtru) && page.total++ >= first && page.messages.size() < size) page.messages.push_back(m);
    }
    if (page.total == 0) return answerEroare(c.res, "Nu exista mesaje in intervalul selectat", titlu);
    const auto pages = static_cast<long long>((page.total + size - 1) / size);
    if (p > pages)
        return answerEroare(c.res,
                            "Pagina solicitata " + pagina + " este mai mare decat numarul total de pagini " +
                                std::to_string(pages),
                            titlu);
    ordered_json mesaje = ordered_json::array();
    for (const auto& m : page.messages) mesaje.push_back(entry(m));
    answerJson(c.res, 200,
               {{"mesaje", mesaje},
                {"numar_inregistrari_in_pagina", page.messages.size()},
                {"numar_total_inregistrari_per_pagina", size},
                {"numar_total_inregistrari", page.total},
                {"numar_total_pagini", c.fault && c.fault->pages ? c.fault->pages : pages},
                {"index_pagina_curenta", p},
                {"serial", kSerial},
                {"cui", cif},
                {"titlu", "Lista Mesaje"}});
}

void download(Standin& s, Call& c) {
    const std::string id = c.param("id");
    const char* titlu = "Descarcare mesaj";
    if (!isDigits(id, 18)) return answerEroare(c.res, "Id descarcare introdus= " + id + " nu este un numar intreg", titlu);
    const auto m = s.mailbox.find(id);
    if (!m) return answerEroare(c.res, "Pentru id=" + id + " nu exista inregistrat niciun mesaj", titlu);
    const std::string xml = messageXml(*m);
    std::vector<std::pair<std::string, std::string>> entries = {{m->idSolicitare + ".xml", xml},
                                                                {"semnatura_" + m->idSolicitare + ".xml", signatureXml(*m, xml)}};
    const std::string kind = c.fault ? c.fault->zip : "";
    if (kind == "one") entries.pop_back();
    if (kind == "three") entries.push_back({"readme.txt", "Fisier in plus in arhiva"});
    std::string zip = makeZip(entries);
    if (kind == "corrupt")
        for (std::size_t i = 14; i < zip.size(); i += 7) zip[i] = static_cast<char>(zip[i] ^ 0x5A);
    c.res.status = 200;
    c.res.set_header("Content-Disposition", "attachment; filename=\"" + id + ".zip\"");
    c.res.set_content(zip, "application/zip");
}

std::string uploadAnswer(Standin& s, const std::string& index, const std::string& error) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<header xmlns=\"mfp:anaf:dgti:spv:respUploadFisier:v1\" "
                      "dateResponse=\"" + stamp12(s.clock.now()) + "\" ExecutionStatus=\"" + (error.empty() ? "0" : "1") + "\"";
    if (!index.empty()) xml += " index_incarcare=\"" + index + "\"";
    if (error.empty()) return xml + "/>\n";
    return xml + ">\n<Errors errorMessage=\"" + xmlEscape(error) + "\"/>\n</header>\n";
}

void upload(Standin& s, Call& c, bool production) {
    const std::string standard = c.param("standard"), cif = c.param("cif");
    std::string error;
    if (standard != "UBL" && standard != "CN" && standard != "CII" && standard != "RASP")
        error = "Valoarea parametrului standard=" + standard + " nu este valida. Valori acceptate: UBL, CN, CII, RASP";
    else if (!isDigits(cif, 13)) error = "CIF introdus= " + cif + " nu este un numar";
    else if (c.req.has_param("extern") && c.param("extern") != "DA") error = "Parametrul extern accepta doar valoarea DA";
    else if (c.req.has_param("autofactura") && c.param("autofactura") != "DA")
        error = "Parametrul autofactura accepta doar valoarea DA";
    else if (c.req.body.empty()) error = "Fisierul transmis este gol";
    if (!error.empty()) return answerXml(c.res, 200, uploadAnswer(s, "", error));

    Upload u;
    u.index = s.uploads.nextIndex();
    u.cif = cif;
    const XmlCheck xml = checkXml(c.req.body);
    std::vector<std::string> errors;
    if (!xml.wellFormed) u.stare = "XML cu erori nepreluat de sistem";
    else if (standard == "UBL" || standard == "CN") errors = validateUbl(c.req.body, standard == "UBL" ? "Invoice" : "CreditNote");
    else if (standard == "CII" && xml.rootName != "CrossIndustryInvoice")
        errors = {"E: validari xml schema  eroare: elementul radacina trebuie sa fie CrossIndustryInvoice"};
    else if (standard == "RASP" && xml.rootName != "mesaj")
        errors = {"E: validari xml schema  eroare: elementul radacina al mesajului trebuie sa fie mesaj"};
    if (xml.wellFormed) u.stare = errors.empty() ? "ok" : "nok";
    // The production mailbox gets the answer as SPV gives it: the invoice as sent, or the errors.
    if (production && u.stare == "nok")
        u.idDescarcare = s.mailbox.addDocument("ERORI FACTURA", cif, u.index,
                                               "Erori de validare identificate la factura primita cu id_incarcare=" + u.index,
                                               errorReportXml(u.index, cif, errors)).id;
    if (production && u.stare == "ok") {
        std::string buyer = textAt(c.req.body, {"AccountingCustomerParty", "Party", "PartyTaxScheme", "CompanyID"});
        if (buyer.empty()) buyer = textAt(c.req.body, {"AccountingCustomerParty", "Party", "PartyLegalEntity", "CompanyID"});
        const bool message = standard == "RASP";
        const std::string detalii = message ? "Mesaj transmis pentru factura cu id_incarcare=" + attributeOf(c.req.body, "mesaj", "index_incarcare")
                                            : "Factura cu id_incarcare=" + u.index + " emisa de cif_emitent=" + cif +
                                                  " pentru cif_beneficiar=" + buyer;
        u.idDescarcare = s.mailbox.addDocument(message ? "MESAJ CUMPARATOR TRANSMIS" : "FACTURA TRIMISA", cif, u.index,
                                               detalii, c.req.body).id;
    }
    s.uploads.put(u);
    answerXml(c.res, 200, uploadAnswer(s, u.index, ""));
}

void uploadStatus(Standin& s, Call& c) {
    const std::string index = c.param("id_incarcare");
    std::string attributes, error;
    if (!isDigits(index, 18)) {
        error = "Id_incarcare introdus= " + index + " nu este un numar intreg";
    } else if (const auto u = s.uploads.find(index)) {
        attributes = " stare=\"" + u->stare + "\"" + (u->idDescarcare.empty() ? "" : " id_descarcare=\"" + u->idDescarcare + "\"");
    } else if (const auto m = s.mailbox.findByUpload(index)) {
        attributes = std::string(" stare=\"") + (m->tip == "ERORI FACTURA" ? "nok" : "ok") + "\" id_descarcare=\"" + m->id + "\"";
    } else {
        error = "Nu exista factura cu id_incarcare= " + index;
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<header "
                      "xmlns=\"mfp:anaf:dgti:efactura:stareMesajFactura:v1\"" + attributes;
    xml += error.empty() ? "/>\n" : ">\n<Errors errorMessage=\"" + xmlEscape(error) + "\"/>\n</header>\n";
    answerXml(c.res, 200, xml);
}

ordered_json refusal(const std::string& message) {
    return {{"stare", "nok"}, {"Messages", {{{"message", message}}}}, {"trace_id", traceId()}};
}

void validate(Call& c, const std::string& kind) {
    if (kind != "FACT1" && kind != "FCN")
        return answerJson(c.res, 400, refusal("Standardul documentului trebuie sa fie FACT1 sau FCN"));
    const auto errors = validateUbl(c.req.body, kind == "FCN" ? "CreditNote" : "Invoice");
    if (errors.empty()) return answerJson(c.res, 200, {{"stare", "ok"}, {"trace_id", traceId()}});
    ordered_json messages = ordered_json::array();
    for (const auto& e : errors) messages.push_back({{"message", e}});
    answerJson(c.res, 200, {{"stare", "nok"}, {"Messages", messages}, {"trace_id", traceId()}});
}

void transform(Call& c, const std::string& kind) {
    if (kind != "FACT1" && kind != "FCN")
        return answerJson(c.res, 400, refusal("Standardul documentului trebuie sa fie FACT1 sau FCN"));
    const XmlCheck xml = checkXml(c.req.body);
    if (!xml.wellFormed) return answerJson(c.res, 200, refusal("Fisierul transmis nu este un XML valid: " + xml.error));
    c.res.status = 200;
    c.res.set_content(makePdf(invoiceLines(c.req.body)), "application/pdf");
}

bool methodIs(Call& c, const char* method) {
    if (c.req.method == method) return true;
    answerJson(c.res, 405, {{"status", 405}, {"error", "Method Not Allowed"}, {"path", c.path}});
    return false;
}

}  // namespace

bool serveEfactura(Standin& s, Call& c) {
    std::string rest;
    if (!fctel(c.path, rest)) return false;
    const bool production = c.path.rfind("/prod/", 0) == 0;
    const bool spv = c.role == "api" || c.role == "cert";
    const bool open = c.role == "api" || c.role == "public";
    const auto on = [&](const char* method, auto&& serve) {
        if (methodIs(c, method)) serve();
        return true;
    };
    if (spv && rest == "listaMesajeFactura") return on("GET", [&] { listByDays(s, c); });
    if (spv && rest == "listaMesajePaginatieFactura") return on("GET", [&] { listPaged(s, c); });
    if (spv && rest == "descarcare") return on("GET", [&] { download(s, c); });
    if (spv && (rest == "upload" || rest == "uploadb2c")) return on("POST", [&] { upload(s, c, production); });
    if (spv && rest == "stareMesaj") return on("GET", [&] { uploadStatus(s, c); });
    if (open && rest.rfind("validare/", 0) == 0) return on("POST", [&] { validate(c, rest.substr(9)); });
    if (open && rest.rfind("transformare/", 0) == 0) {
        std::string kind = rest.substr(13);
        if (kind.size() > 3 && kind.compare(kind.size() - 3, 3, "/DA") == 0) kind.resize(kind.size() - 3);
        return on("POST", [&] { transform(c, kind); });
    }
    return false;
}

}  // namespace standin
