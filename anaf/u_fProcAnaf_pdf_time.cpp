#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "anaf/u_fProcAnaf.h"
#include "data/u_dmCon.h"
#include "platform/time/local_text.h"

std::string TfProcAnaf::commonDataFolder() {
    const char* dir = std::getenv("TARVELO_COMMON_DATA_DIR");
    return dir && *dir ? dir : "/var/tmp/tarvelo";
}

void TfProcAnaf::transform(bool api, const std::string& operation, const std::string& pXml,
                           const std::string& pIndexIncarcare, const std::string& pTipDocXml,
                           std::string& pFisier) {
    pFisier.clear();
    // The index names a file: a path separator or a parent step would write outside the folder.
    if (pIndexIncarcare.find('/') != std::string::npos || pIndexIncarcare.find('\\') != std::string::npos ||
        pIndexIncarcare.find("..") != std::string::npos || pIndexIncarcare.find('\0') != std::string::npos)
        throw AnafError("(" + operation + ") EROARE - index de incarcare nepermis in numele fisierului: " +
                        pIndexIncarcare);
    const std::string kind = pTipDocXml == "Invoice" ? "FACT1" : pTipDocXml == "CreditNote" ? "FCN" : "";
    RestSet& set = api ? RESTClientAnaf : RESTClient1;
    std::string token;
    if (api) {
        token = GetUserAccessToken(dmCon->glUser, "eFact");
        prepareAnafSet(AnafApiBaseUrl, "prod/FCTEL/rest/transformare/" + kind, "POST", "", &token);
    } else {
        set.baseUrl = AnafPublicBaseUrl;
        set.resource = "prod/FCTEL/rest/transformare/" + kind + "/DA";
        set.method = "POST";
        set.params.clear();
        set.headers.clear();
    }
    set.contentType = "text/plain";
    set.body = pXml;
    set.hasBody = true;
    set.execute(certificateChooser());
    if (api) set.headers.clear();
    if (set.statusCode != 200)
        throw AnafError("(" + operation + ") EROARE - XML-ul nu s-a putut transforma in PDF. StatusCode =  " +
                        std::to_string(set.statusCode) + ", content = " + set.content);
    if (set.responseType != "application/pdf")
        throw AnafError("(" + operation + ") EROARE - content=" + set.content);
    const std::filesystem::path folder(commonDataFolder());
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string path = (folder / (pIndexIncarcare + ".pdf")).string();
    // Written beside the target and renamed: a viewer never sees half a file.
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(set.rawBytes.data(), static_cast<std::streamsize>(set.rawBytes.size()));
        if (!out) throw AnafError("(" + operation + ") EROARE - nu se poate scrie fisierul " + path);
    }
    std::filesystem::rename(partial, path, ec);
    if (ec) {
        std::filesystem::remove(partial, ec);
        throw AnafError("(" + operation + ") EROARE - nu se poate scrie fisierul " + path);
    }
    pFisier = path;
}

void TfProcAnaf::Transformare_xml_eFact_pdf(const std::string& pXml, const std::string& pIndexIncarcare,
                                            const std::string& pTipDocXml, std::string& pFisier) {
    transform(false, "Transformare_xml_eFact_pdf", pXml, pIndexIncarcare, pTipDocXml, pFisier);
}

void TfProcAnaf::Transformare_xml_eFact_pdfApi(const std::string& pXml, const std::string& pIndexIncarcare,
                                               const std::string& pTipDocXml, std::string& pFisier) {
    transform(true, "Transformare_xml_eFact_pdfApi", pXml, pIndexIncarcare, pTipDocXml, pFisier);
}

std::optional<platform::time::LocalDateTime> parseIso8601(const std::string& text) {
    using namespace std::chrono;
    int y, mo, d, h, mi, s;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 ||
        used != 19)
        return std::nullopt;
    const year_month_day ymd{year{y} / mo / d};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 60) return std::nullopt;
    size_t pos = 19;
    long long micros = 0;
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        int digits = 0;
        for (++pos; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos)
            if (digits < 6) micros = micros * 10 + (text[pos] - '0'), ++digits;
        if (digits == 0) return std::nullopt;
        for (; digits < 6; ++digits) micros *= 10;
    }
    platform::time::LocalDateTime value =
        local_days{sys_days{ymd}.time_since_epoch()} + hours{h} + minutes{mi} + seconds{s} + microseconds{micros};
    if (pos == text.size()) return value;
    if (text[pos] == 'Z' && pos + 1 == text.size()) return value;
    int oh = 0, om = 0;
    if ((text[pos] == '+' || text[pos] == '-') &&
        (std::sscanf(text.c_str() + pos + 1, "%2d:%2d", &oh, &om) == 2 ||
         std::sscanf(text.c_str() + pos + 1, "%2d%2d", &oh, &om) == 2)) {
        const auto offset = hours{oh} + minutes{om};
        return text[pos] == '+' ? value - offset : value + offset;
    }
    return std::nullopt;
}

bool TfProcAnaf::readTime(const std::string& url, const char* member, platform::time::LocalDateTime& out) {
    RESTClient1.baseUrl = url;
    RESTClient1.resource.clear();
    RESTClient1.method = "GET";
    RESTClient1.params.clear();
    RESTClient1.headers.clear();
    RESTClient1.hasBody = false;
    RESTClient1.execute(certificateChooser());
    if (RESTClient1.statusCode != 200) return false;
    const auto json = nlohmann::json::parse(RESTClient1.content, nullptr, false);
    if (json.is_discarded() || !json.is_object()) return false;
    const auto it = json.find(member);
    if (it == json.end() || !it->is_string() || it->get<std::string>().empty()) return false;
    const auto value = parseIso8601(it->get<std::string>());
    if (!value) return false;
    out = *value;
    return true;
}

void TfProcAnaf::GetDateTime_Timeapi(platform::time::LocalDateTime& pDateTime) {
    readTime(TimeApiBaseUrl + "/api/Time/current/zone?timeZone=Europe/Bucharest", "dateTime", pDateTime);
}

void TfProcAnaf::GetDateTime_Worldtimeapi(platform::time::LocalDateTime& pDateTime) {
    if (readTime(WorldTimeApiBaseUrl + "/api/timezone/Europe/Bucharest", "datetime", pDateTime) && onMessage) {
        const auto asSystem = platform::time::fromLocal(pDateTime);
        onMessage("worldtimeapi = " + platform::time::shortDateLongTime(asSystem));
    }
}
