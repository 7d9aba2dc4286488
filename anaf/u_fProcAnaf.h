#pragma once
// The ANAF client: the one object through which Tarvelo talks to ANAF and to the time services.
// Operations take their inputs first and give their results through out-parameters, emptied at
// entry. A failure is raised as AnafError with the Romanian message the operation defines; a
// failure of the transport (no connection, TLS refused, a stalled server) as platform::http::Error.
// An HTTP status other than 200 is returned, except where an operation says otherwise.

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/http/http_client.h"
#include "platform/memtable/mem_table.h"
#include "platform/pg/query.h"
#include "platform/time/clock.h"

class AnafError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The plain HTTP client: the whole address built as text, user agent and content type as each
// operation sets them.
struct PlainHttpClient {
    std::string userAgent;
    std::string contentType;
    platform::http::Response last;
    platform::http::Response get(const std::string& url, const platform::http::CertificateChooser& chooser);
    platform::http::Response post(const std::string& url, const std::string& body,
                                  const platform::http::CertificateChooser& chooser);
};

// A REST component set (client, request and response bound together). Settings persist between
// calls; each operation sets what it uses.
struct RestSet {
    std::string baseUrl;
    std::string resource;
    std::string method = "GET";
    std::string accept;
    std::string contentType;  // of the body
    std::vector<std::pair<std::string, std::string>> params;   // GET-or-POST parameters
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool hasBody = false;
    bool followRedirects = true;
    // the last response
    int statusCode = 0;
    std::string statusText;
    std::string content;         // as text (UTF-8)
    std::string responseType;    // media type
    std::string rawBytes;

    void resetToDefaults();
    // Empties the request's parameter list, headers included (the bearer header is one of them).
    void clearParams();
    std::string address() const;  // base + resource + query, as it goes on the wire
    void execute(const platform::http::CertificateChooser& chooser);
};

class TfProcAnaf {
public:
    TfProcAnaf();
    ~TfProcAnaf();

    // Endpoint roles: ANAF's hosts unless the environment points them elsewhere (scheme and host,
    // a trailing "/" dropped): TARVELO_ANAF_API_URL (https://api.anaf.ro), TARVELO_ANAF_CERT_URL
    // and TARVELO_ANAF_PUBLIC_URL (https://webservicesp.anaf.ro), TARVELO_ANAF_LOGIN_URL
    // (https://logincert.anaf.ro), TARVELO_TIMEAPI_URL (https://timeapi.io),
    // TARVELO_WORLDTIMEAPI_URL (https://worldtimeapi.org).
    std::string AnafApiBaseUrl;
    std::string AnafCertBaseUrl;
    std::string AnafPublicBaseUrl;
    std::string AnafLoginBaseUrl;
    std::string TimeApiBaseUrl;
    std::string WorldTimeApiBaseUrl;

    // Component sets.
    PlainHttpClient NetHTTPClient1;
    RestSet RESTClient1;     // the general set
    RestSet RESTClientAnaf;  // the ANAF set

    // Texts the original showed in a message box; the application routes them to a dialog.
    std::function<void(const std::string&)> onMessage;

    // ---- client certificate (one routine for the three clients) ----
    // Picks the first candidate registered exactly once in digital_certif and valid today.
    // Returns its index; raises "Nu exista nici un certificat valid" when none qualifies.
    int chooseCertificateIndex(const std::vector<std::string>& serials,
                               const std::vector<std::pair<platform::time::SystemTime,
                                                           platform::time::SystemTime>>& validity);
    platform::http::CertificateChooser certificateChooser();

    // ---- tokens ----
    std::string GetUserAccessToken(const std::string& pUser, const std::string& pServiciu);
    void RefreshTokenAnaf(const std::string& pUser, const std::string& pServiciu, int& pStatusCode,
                          std::string& pStatusText, std::string& pContent);
    void ReinnoireTokenAnaf(const std::string& pUser, const std::string& pServiciu,
                            std::string& pAccessToken, std::string& pRefreshToken);
    void GenerareTokenAnaf(const std::string& pClientId, const std::string& pClientSecret,
                           std::string& pAccessToken, std::string& pRefreshToken);
    void TestOAuthAnaf(const std::string& pServiciu);

    // ---- message lists ----
    void GetListaMesaje(const std::string& urlMod, const std::string& nrZile, const std::string& cif,
                        int& statusCode, std::string& statusText, std::string& content);
    void GetListaMesajeApi(const std::string& urlMod, const std::string& nrZile, const std::string& cif,
                           int& statusCode, std::string& statusText, std::string& content);
    void GetListaMesajeCuPag(const std::string& urlMod, platform::time::LocalDateTime startTime,
                             platform::time::LocalDateTime endTime, const std::string& cif,
                             const std::string& nrPag, int& statusCode, std::string& statusText,
                             std::string& content);
    void GetListaMesajeCuPagApi(const std::string& urlMod, platform::time::LocalDateTime startTime,
                                platform::time::LocalDateTime endTime, const std::string& cif,
                                const std::string& nrPag, int& statusCode, std::string& statusText,
                                std::string& content);
    static void ListaMesajeToDs(const std::string& strListaMesaje, const std::string& pClientFurn,
                                platform::memtable::MemTable& ds);
    // Milliseconds since the epoch of a local date-time, whole seconds + "000".
    static std::string epochMillisText(platform::time::LocalDateTime t);

    // ---- message download ----
    void GetMesaj(const std::string& urlMod, const std::string& idMesaj, const std::string& indexIncarcare,
                  const std::string& mesajDetalii, const std::string& mesajTip, const std::string& mesajData,
                  const std::string& numeFisier, int& statusCode, std::string& statusText);
    void GetMesajApi(const std::string& urlMod, const std::string& idMesaj, const std::string& indexIncarcare,
                     const std::string& mesajDetalii, const std::string& mesajTip, const std::string& mesajData,
                     const std::string& numeFisier, int& statusCode, std::string& statusText);
    void GetMesajFurn(const std::string& urlMod, const std::string& idMesaj, const std::string& indexIncarcare,
                      const std::string& mesajCif, const std::string& mesajDetalii, const std::string& mesajTip,
                      const std::string& mesajDataCreare, const std::string& numeFisier, bool daNuScrieInQOR,
                      int& statusCode, std::string& statusText, std::string& errLaINS);
    void GetMesajFurnApi(const std::string& urlMod, const std::string& idMesaj, const std::string& indexIncarcare,
                         const std::string& mesajCif, const std::string& mesajDetalii, const std::string& mesajTip,
                         const std::string& mesajDataCreare, const std::string& numeFisier, bool daNuScrieInQOR,
                         int& statusCode, std::string& statusText, std::string& errLaINS);
    void GetMesajToate(const std::string& urlMod, const std::string& idMesaj, const std::string& indexIncarcare,
                       const std::string& mesajCif, const std::string& mesajDetalii, const std::string& mesajTip,
                       const std::string& mesajDataCreare, const std::string& numeFisier, int& statusCode,
                       std::string& statusText, std::string& errLaINS);
    void GetMesajToateApi(const std::string& urlMod, const std::string& idMesaj, const std::string& indexIncarcare,
                          const std::string& mesajCif, const std::string& mesajDetalii, const std::string& mesajTip,
                          const std::string& mesajDataCreare, const std::string& numeFisier, int& statusCode,
                          std::string& statusText, std::string& errLaINS);

    // ---- PDF transformation and time ----
    void Transformare_xml_eFact_pdf(const std::string& pXml, const std::string& pIndexIncarcare,
                                    const std::string& pTipDocXml, std::string& pFisier);
    void Transformare_xml_eFact_pdfApi(const std::string& pXml, const std::string& pIndexIncarcare,
                                       const std::string& pTipDocXml, std::string& pFisier);
    // The value is written only on success; otherwise it keeps what the caller put there.
    void GetDateTime_Timeapi(platform::time::LocalDateTime& pDateTime);
    void GetDateTime_Worldtimeapi(platform::time::LocalDateTime& pDateTime);

    // The folder the PDFs are written to: TARVELO_COMMON_DATA_DIR, else the user's data folder
    // ($XDG_DATA_HOME/tarvelo/pdf or ~/.local/share/tarvelo/pdf), created readable by the user alone.
    static std::string commonDataFolder();

    // Shared rules of the status policy and the texts built from a failed status.
    static void raiseOnDenied(const std::string& operation, int statusCode, const std::string& action,
                              bool fullStop = false);
    static std::string deniedText(const std::string& operation, bool fullStop);
    static std::string rateLimitText(const std::string& operation, const std::string& action);
    // The rule for the six operations that raise on 403 and 429 (GetStare_eFactApi,
    // Upload_eFactApi, GetMesaj, GetMesajApi, GetMesajFurnApi, GetMesajToateApi), each with its
    // own action; for any other operation the status is left to the caller.
    static void raiseOnDeniedStatus(const std::string& operation, int statusCode);

    // Texts built from a failed status: the decimal code and the raw answer.
    static std::string errHttpAnafText(int statusCode, const std::string& statusText, const std::string& content);
    static std::string validareErrText(const std::string& operation, int statusCode, const std::string& statusText,
                                       const std::string& content);
    static std::string transformareErrText(const std::string& operation, int statusCode, const std::string& content);
    static std::string testOAuthErrText(int statusCode, const std::string& content);
    // step: " - Nu functioneaza CallBack URL.", " obtinere cod autorizare." or
    // " obtinere AccessToken si RefreshToken."
    static std::string generareTokenErrText(const std::string& step, int statusCode, const std::string& content);

private:
    enum class Family { Mesaj, Furn, Toate };
    void download(Family family, bool api, const std::string& operation, const std::string& urlMod,
                  const std::string& idMesaj, const std::string& indexIncarcare, const std::string& mesajCif,
                  const std::string& mesajDetalii, const std::string& mesajTip, const std::string& mesajDataCreare,
                  const std::string& numeFisier, bool daNuScrieInQOR, int& statusCode,
                  std::string& statusText, std::string& errLaINS);
    void listRequestApi(const std::string& resource,
                        std::vector<std::pair<std::string, std::string>> params, int& statusCode,
                        std::string& statusText, std::string& content);
    void transform(bool api, const std::string& operation, const std::string& pXml,
                   const std::string& pIndexIncarcare, const std::string& pTipDocXml, std::string& pFisier);
    bool readTime(const std::string& url, const char* member, platform::time::LocalDateTime& out);
    void prepareAnafSet(const std::string& baseUrl, const std::string& resource, const std::string& method,
                        const std::string& accept, const std::string* bearer);
    // "Bearer " + token; raises when the token holds a control character (a line break would
    // smuggle headers into the request).
    static std::string bearerValue(const std::string& token);
    platform::pg::Query& dsDigitalCertif();
    platform::pg::Query& PgSQLUpd_oauth2_client();

    // Created at the first use: the client exists before the database module does.
    std::unique_ptr<platform::pg::Query> dsDigitalCertif_;
    std::unique_ptr<platform::pg::Query> PgSQLUpd_oauth2_client_;
};

extern TfProcAnaf* fProcAnaf;

// ISO 8601 date-time reader: "2024-03-05T14:27:33.1234567", with or without a zone designator
// ("Z", "+02:00"). A value without zone is taken as written; one with an offset is converted to
// UTC. Returns nothing for a text that is not such a value.
std::optional<platform::time::LocalDateTime> parseIso8601(const std::string& text);
