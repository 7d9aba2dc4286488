#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "anaf/u_fProcAnaf.h"
#include "data/u_dmCon.h"
#include "platform/time/local_text.h"

namespace {

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

// Writes the bytes to `path`, replacing what is there, through a new file of our own in the same
// folder renamed over the target: a viewer never sees half a file, and a link planted under the
// target's name is replaced, never followed.
void replaceFile(const std::string& path, const std::string& bytes, const std::string& operation) {
    const auto fail = [&](int error) {
        throw AnafError("(" + operation + ") EROARE - nu se poate scrie fisierul " + path + ": " +
                        std::strerror(error));
    };
    const std::filesystem::path target(path);
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) fail(errno);
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(pattern.c_str());
            fail(error);
        }
        written += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || std::rename(pattern.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(pattern.c_str());
        fail(error);
    }
}

}  // namespace

std::string TfProcAnaf::commonDataFolder() {
    if (const char* dir = std::getenv("TARVELO_COMMON_DATA_DIR"); dir && *dir) return dir;
    // The user's own data folder, not a folder every local account can write to: a shared one
    // would let another account read the invoices or plant files under the names we write.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        return std::string(data) + "/tarvelo/pdf";
    return homeFolder() + "/.local/share/tarvelo/pdf";
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
    std::filesystem::create_directories(folder.parent_path(), ec);
    ::mkdir(folder.c_str(), 0700);  // only the user reads the invoices; an existing folder stays
    const std::string path = (folder / (pIndexIncarcare + ".pdf")).string();
    replaceFile(path, set.rawBytes, operation);
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

namespace {

// Exactly `count` decimal digits at `pos` (no sign, no blank), moved past on success.
bool readDigits(const std::string& s, size_t& pos, int count, int& out) {
    if (pos + static_cast<size_t>(count) > s.size()) return false;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char c = s[pos + static_cast<size_t>(i)];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += static_cast<size_t>(count);
    out = value;
    return true;
}

bool skip(const std::string& s, size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

std::optional<platform::time::LocalDateTime> parseIso8601(const std::string& text) {
    using namespace std::chrono;
    size_t pos = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!readDigits(text, pos, 4, y) || !skip(text, pos, '-') || !readDigits(text, pos, 2, mo) ||
        !skip(text, pos, '-') || !readDigits(text, pos, 2, d))
        return std::nullopt;
    if (!skip(text, pos, 'T') && !skip(text, pos, 't') && !skip(text, pos, ' ')) return std::nullopt;
    if (!readDigits(text, pos, 2, h) || !skip(text, pos, ':') || !readDigits(text, pos, 2, mi) ||
        !skip(text, pos, ':') || !readDigits(text, pos, 2, s))
        return std::nullopt;
    const year_month_day ymd{year{y} / mo / d};
    // 60 is a leap second; it reads as the first second of the next minute.
    if (!ymd.ok() || h > 23 || mi > 59 || s > 60) return std::nullopt;

    long long micros = 0;
    if (skip(text, pos, '.') || skip(text, pos, ',')) {
        int digits = 0;
        for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, ++digits)
            if (digits < 6) micros = micros * 10 + (text[pos] - '0');  // finer than a microsecond: cut
        if (digits == 0) return std::nullopt;
        for (int i = digits; i < 6; ++i) micros *= 10;
    }
    const platform::time::LocalDateTime value = local_days{ymd} + hours{h} + minutes{mi} + seconds{s} +
                                                microseconds{micros};
    if (pos == text.size()) return value;  // no zone: the wall-clock value as written
    if ((text[pos] == 'Z' || text[pos] == 'z') && pos + 1 == text.size()) return value;

    // An offset: +hh, +hh:mm or +hhmm (or -), converted to UTC.
    const char sign = text[pos++];
    if (sign != '+' && sign != '-') return std::nullopt;
    int oh = 0, om = 0;
    if (!readDigits(text, pos, 2, oh)) return std::nullopt;
    if (pos < text.size()) {
        skip(text, pos, ':');
        if (!readDigits(text, pos, 2, om)) return std::nullopt;
    }
    if (pos != text.size() || oh > 23 || om > 59) return std::nullopt;
    const auto offset = hours{oh} + minutes{om};
    return sign == '+' ? value - offset : value + offset;
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
