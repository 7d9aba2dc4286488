#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdlib>

#include "anaf/u_fProcAnaf.h"
#include "data/u_dmCon.h"
#include "platform/certs/cert_store.h"

TfProcAnaf* fProcAnaf = nullptr;

namespace {

std::string role(const char* variable, const char* fallback) {
    const char* v = std::getenv(variable);
    std::string url = v && *v ? v : fallback;
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

std::string joinUrl(const std::string& base, const std::string& resource) {
    if (resource.empty()) return base;
    if (base.empty()) return resource;
    if (base.back() == '/' || resource.front() == '/') {
        if (base.back() == '/' && resource.front() == '/') return base + resource.substr(1);
        return base + resource;
    }
    return base + "/" + resource;
}

}  // namespace

platform::http::Response PlainHttpClient::get(const std::string& url,
                                              const platform::http::CertificateChooser& chooser) {
    platform::http::Request r;
    r.url = url;
    r.chooser = chooser;
    r.headers.emplace_back("User-Agent", userAgent);
    if (!contentType.empty()) r.headers.emplace_back("Content-Type", contentType);
    last = platform::http::perform(r);
    return last;
}

platform::http::Response PlainHttpClient::post(const std::string& url, const std::string& body,
                                               const platform::http::CertificateChooser& chooser) {
    platform::http::Request r;
    r.method = "POST";
    r.url = url;
    r.body = body;
    r.hasBody = true;
    r.chooser = chooser;
    r.headers.emplace_back("User-Agent", userAgent);
    r.headers.emplace_back("Content-Type", contentType);
    last = platform::http::perform(r);
    return last;
}

void RestSet::resetToDefaults() { *this = RestSet(); }

void RestSet::clearParams() {
    params.clear();
    headers.clear();
}

std::string RestSet::address() const {
    std::string url = joinUrl(baseUrl, resource);
    const bool paramsInQuery = method != "POST" || hasBody;
    if (paramsInQuery && !params.empty())
        url += (url.find('?') == std::string::npos ? "?" : "&") + platform::http::joinParams(params);
    return url;
}

void RestSet::execute(const platform::http::CertificateChooser& chooser) {
    platform::http::Request r;
    r.method = method;
    r.url = address();
    r.chooser = chooser;
    r.followRedirects = followRedirects;
    for (const auto& h : headers) r.headers.push_back(h);
    if (!accept.empty()) r.headers.emplace_back("Accept", accept);
    if (method == "POST" && hasBody) {
        r.body = body;
        r.hasBody = true;
        r.headers.emplace_back("Content-Type", contentType.empty() ? "text/plain" : contentType + "; charset=UTF-8");
    } else if (method == "POST") {
        // no body: the parameters travel as form fields
        r.body = platform::http::joinParams(params);
        r.hasBody = true;
        r.headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
    }
    const auto response = platform::http::perform(r);
    statusCode = response.statusCode;
    statusText = response.statusText;
    content = response.body;
    rawBytes = response.body;
    responseType = response.contentType;
}

TfProcAnaf::TfProcAnaf()
    : AnafApiBaseUrl(role("TARVELO_ANAF_API_URL", "https://api.anaf.ro")),
      AnafCertBaseUrl(role("TARVELO_ANAF_CERT_URL", "https://webservicesp.anaf.ro")),
      AnafPublicBaseUrl(role("TARVELO_ANAF_PUBLIC_URL", "https://webservicesp.anaf.ro")),
      AnafLoginBaseUrl(role("TARVELO_ANAF_LOGIN_URL", "https://logincert.anaf.ro")),
      TimeApiBaseUrl(role("TARVELO_TIMEAPI_URL", "https://timeapi.io")),
      WorldTimeApiBaseUrl(role("TARVELO_WORLDTIMEAPI_URL", "https://worldtimeapi.org")) {
    RESTClientAnaf.baseUrl = AnafApiBaseUrl;
}

TfProcAnaf::~TfProcAnaf() {
    if (fProcAnaf == this) fProcAnaf = nullptr;
}

platform::pg::Query& TfProcAnaf::dsDigitalCertif() {
    if (!dsDigitalCertif_)
        dsDigitalCertif_ = std::make_unique<platform::pg::Query>(
            dmCon->conQor, "SELECT * FROM digital_certif WHERE serial_no = :pSerialNo");
    return *dsDigitalCertif_;
}

platform::pg::Query& TfProcAnaf::PgSQLUpd_oauth2_client() {
    if (!PgSQLUpd_oauth2_client_)
        PgSQLUpd_oauth2_client_ = std::make_unique<platform::pg::Query>(
            dmCon->conQor, "UPDATE oauth2_client SET at = :pAccessToken, rt = :pRefreshToken WHERE cid = :pCid");
    return *PgSQLUpd_oauth2_client_;
}

int TfProcAnaf::chooseCertificateIndex(
    const std::vector<std::string>& serials,
    const std::vector<std::pair<platform::time::SystemTime, platform::time::SystemTime>>& validity) {
    using namespace std::chrono;
    // today at midnight, local time
    const auto today = platform::time::fromLocal(floor<days>(platform::time::localNow()));
    auto& q = dsDigitalCertif();
    try {
        for (size_t i = 0; i < serials.size(); ++i) {
            q.close();
            q.setParam("pSerialNo", serials[i]);
            q.open();
            if (q.rowCount() != 1) continue;  // not registered, or ambiguous
            if (validity[i].first > today || validity[i].second < today) continue;
            q.close();
            return static_cast<int>(i);
        }
    } catch (...) {
        q.close();
        throw;
    }
    q.close();
    throw AnafError("Nu exista nici un certificat valid");
}

platform::http::CertificateChooser TfProcAnaf::certificateChooser() {
    return [this](X509** cert, EVP_PKEY** key) {
        const auto candidates = platform::certs::loadDefaultCandidates();
        std::vector<std::string> serials;
        std::vector<std::pair<platform::time::SystemTime, platform::time::SystemTime>> validity;
        for (const auto& c : candidates) {
            serials.push_back(c.serialNumber);
            validity.emplace_back(c.validFrom, c.validTo);
        }
        const int index = chooseCertificateIndex(serials, validity);
        const auto& chosen = candidates[static_cast<size_t>(index)];
        // OpenSSL takes ownership of what it is given.
        X509_up_ref(chosen.certificate.get());
        EVP_PKEY_up_ref(chosen.key.get());
        *cert = chosen.certificate.get();
        *key = chosen.key.get();
        return true;
    };
}

std::string TfProcAnaf::deniedText(const std::string& operation, bool fullStop) {
    return "(" + operation + ") Eroare : Apelul nu a fost autorizat de catre ANAF" + (fullStop ? "." : "");
}

std::string TfProcAnaf::rateLimitText(const std::string& operation, const std::string& action) {
    return "(" + operation +
           ") Eroare : S-a depasit limita maxima de 100 de apeluri pe minut, stabilita de catre ANAF. Reluati " +
           action + ".";
}

void TfProcAnaf::raiseOnDeniedStatus(const std::string& operation, int statusCode) {
    struct Rule {
        const char* operation;
        const char* action;
        bool fullStop;
    };
    static const Rule rules[] = {
        {"GetStare_eFactApi", "preluarea starii", true}, {"Upload_eFactApi", "transmiterea", false},
        {"GetMesaj", "descarcarea", false},              {"GetMesajApi", "descarcarea", false},
        {"GetMesajFurnApi", "descarcarea", false},       {"GetMesajToateApi", "descarcarea", false},
    };
    for (const auto& rule : rules)
        if (operation == rule.operation) return raiseOnDenied(operation, statusCode, rule.action, rule.fullStop);
}

std::string TfProcAnaf::errHttpAnafText(int statusCode, const std::string& statusText, const std::string& content) {
    return "errHttpAnaf: StatusCode=" + std::to_string(statusCode) + ", StatusText=" + statusText +
           ", content=" + content;
}

std::string TfProcAnaf::validareErrText(const std::string& operation, int statusCode, const std::string& statusText,
                                        const std::string& content) {
    return "(" + operation + ") EROARE HttpAnaf la validare: StatusCode=" + std::to_string(statusCode) +
           ", statusText=" + statusText + ", content=" + content;
}

std::string TfProcAnaf::transformareErrText(const std::string& operation, int statusCode,
                                            const std::string& content) {
    return "(" + operation + ") EROARE - XML-ul nu s-a putut transforma in PDF. StatusCode =  " +
           std::to_string(statusCode) + ", content = " + content;
}

std::string TfProcAnaf::testOAuthErrText(int statusCode, const std::string& content) {
    return "(TestOAuthAnaf) Eroare verificare autorizare AccessToken. StatusCode=" + std::to_string(statusCode) +
           ", content=" + content;
}

std::string TfProcAnaf::generareTokenErrText(const std::string& step, int statusCode, const std::string& content) {
    return "(GenerareTokenAnaf) - EROARE" + step + " Status Code = " + std::to_string(statusCode) +
           ", content = " + content;
}

void TfProcAnaf::raiseOnDenied(const std::string& operation, int statusCode, const std::string& action,
                               bool fullStop) {
    if (statusCode == 403) throw AnafError(deniedText(operation, fullStop));
    if (statusCode == 429) throw AnafError(rateLimitText(operation, action));
}

void TfProcAnaf::prepareAnafSet(const std::string& baseUrl, const std::string& resource,
                                const std::string& method, const std::string& accept,
                                const std::string* bearer) {
    RESTClientAnaf.baseUrl = baseUrl;
    RESTClientAnaf.resource = resource;
    RESTClientAnaf.method = method;
    RESTClientAnaf.accept = accept;
    RESTClientAnaf.params.clear();
    RESTClientAnaf.headers.clear();
    RESTClientAnaf.body.clear();
    RESTClientAnaf.hasBody = false;
    if (bearer) RESTClientAnaf.headers.emplace_back("Authorization", bearerValue(*bearer));
}

std::string TfProcAnaf::bearerValue(const std::string& token) {
    for (unsigned char c : token)
        if (c < 0x20 || c == 0x7F)
            throw AnafError("Tokenul de acces contine caractere nepermise (tabela oauth2_client).");
    return "Bearer " + token;
}
