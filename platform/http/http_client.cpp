#include "platform/http/http_client.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cctype>
#include <cstdlib>
#include <exception>

namespace platform::http {
namespace {

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
};

// The request being performed. One request at a time: the OpenSSL callback finds it here.
struct Active {
    const Request* request = nullptr;
    const TransportSettings* settings = nullptr;
    std::exception_ptr chooserError;
    std::string statusText;
    std::string contentTypeHeader;
    bool connected = false;  // the connection (TLS included) stood and the request was about to go out
};
thread_local Active* active = nullptr;

int clientCertCallback(SSL*, X509** cert, EVP_PKEY** key) {
    if (!active || !active->request->chooser) return 0;
    try {
        return active->request->chooser(cert, key) ? 1 : 0;
    } catch (...) {
        active->chooserError = std::current_exception();
        return 0;
    }
}

// The trusted certificates, built once per extra CA file: the system's (looked up in its hashed
// folder as needed) plus the extra file. Parsing the whole bundle for every request would cost
// more than the request itself.
X509_STORE* trustStore(const std::string& extraCaFile) {
    static std::string builtFor;
    static X509_STORE* store = nullptr;
    if (store && builtFor == extraCaFile) return store;
    X509_STORE* fresh = X509_STORE_new();
    if (!fresh) return nullptr;
    X509_STORE_set_default_paths(fresh);
    if (!extraCaFile.empty() && X509_STORE_load_file(fresh, extraCaFile.c_str()) != 1) {
        X509_STORE_free(fresh);
        return nullptr;
    }
    if (store) X509_STORE_free(store);
    store = fresh;
    builtFor = extraCaFile;
    return store;
}

CURLcode sslContext(CURL*, void* sslctx, void*) {
    auto* ctx = static_cast<SSL_CTX*>(sslctx);
    SSL_CTX_set_client_cert_cb(ctx, clientCertCallback);
    X509_STORE* store = trustStore(active ? active->settings->extraCaFile : std::string());
    if (!store) return CURLE_SSL_CACERT_BADFILE;
    SSL_CTX_set1_cert_store(ctx, store);
    return CURLE_OK;
}

// Runs once the connection stands, before the request is sent. A handshake in which no
// certificate could be chosen ends here, so a server that only asks for one never gets the request.
int beforeRequest(void*, char*, char*, int, int) {
    if (!active) return CURL_PREREQFUNC_OK;
    active->connected = true;
    return active->chooserError ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

size_t onBody(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

size_t onHeader(char* data, size_t size, size_t count, void*) {
    std::string line(data, size * count);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (!active) return size * count;
    if (line.rfind("HTTP/", 0) == 0) {
        // a new status line (after a redirect or a 100 Continue) starts a new answer
        const auto first = line.find(' ');
        const auto second = first == std::string::npos ? std::string::npos : line.find(' ', first + 1);
        active->statusText = second == std::string::npos ? std::string() : line.substr(second + 1);
        active->contentTypeHeader.clear();
    } else if (line.size() > 13 && strncasecmp(line.c_str(), "content-type:", 13) == 0) {
        active->contentTypeHeader = line.substr(13);
    }
    return size * count;
}

std::string mediaType(std::string header) {
    const auto semicolon = header.find(';');
    if (semicolon != std::string::npos) header.resize(semicolon);
    size_t b = 0, e = header.size();
    while (b < e && std::isspace(static_cast<unsigned char>(header[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(header[e - 1]))) --e;
    std::string out = header.substr(b, e - b);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Scheme, host and port of an address: error texts name the server, never the path or query.
std::string origin(const std::string& url) {
    const auto scheme = url.find("://");
    const auto hostStart = scheme == std::string::npos ? 0 : scheme + 3;
    auto hostEnd = url.find_first_of("/?#", hostStart);
    if (hostEnd == std::string::npos) hostEnd = url.size();
    auto at = url.rfind('@', hostEnd);
    const auto from = at == std::string::npos || at < hostStart ? hostStart : at + 1;
    return url.substr(0, hostStart) + url.substr(from, hostEnd - from);
}

std::string transportMessage(CURLcode code, const char* detail, const std::string& server, bool connected,
                             const TransportSettings& settings) {
    const std::string why = *detail ? detail : curl_easy_strerror(code);
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            if (!connected)
                return "Nu se poate face conexiunea cu serverul " + server + ": nu a raspuns in " +
                       std::to_string(settings.connectTimeoutSeconds) + " secunde.";
            return "Serverul " + server + " nu mai raspunde: nu s-a primit nimic timp de " +
                   std::to_string(settings.stallSeconds) + " secunde, cererea a fost abandonata.";
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST:
            return "Nu se poate face conexiunea cu serverul " + server + ": " + why;
        case CURLE_PEER_FAILED_VERIFICATION:
            return "Certificatul serverului " + server + " nu este de incredere: " + why;
        default:
            return "Eroare de comunicatie cu serverul " + server + ": " + why;
    }
}

}  // namespace

TransportSettings defaultTransportSettings() {
    TransportSettings s;
    if (const char* ca = std::getenv("TARVELO_CA_FILE"); ca && *ca) s.extraCaFile = ca;
    return s;
}

std::string encodeUnsafe(const std::string& value) {
    static const std::string unsafe = "\"#%&+<>\\^`{|}";
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        if (c <= 0x20 || c >= 0x7F || unsafe.find(static_cast<char>(c)) != std::string::npos) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string joinParams(const std::vector<std::pair<std::string, std::string>>& params) {
    std::string out;
    for (const auto& [name, value] : params) {
        if (!out.empty()) out += '&';
        out += encodeUnsafe(name) + '=' + encodeUnsafe(value);
    }
    return out;
}

Response perform(const Request& request, const TransportSettings& settings) {
    static CurlGlobal global;
    // One handle, reset for every request: its parsed CA store is kept, which a new handle per
    // request would read from disk every time. Connections are still never reused.
    thread_local std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) throw Error("Eroare de comunicatie: libcurl nu poate fi initializat");
    CURL* h = curl.get();
    curl_easy_reset(h);
    Response response;
    Active state{&request, &settings, nullptr, {}, {}, false};
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(h, CURLOPT_SSLVERSION, CURL_SSLVERSION_TLSv1_2);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, sslContext);
    curl_easy_setopt(h, CURLOPT_CAINFO, nullptr);  // the context callback installs the trust store
    curl_easy_setopt(h, CURLOPT_CAPATH, nullptr);
    // libcurl would otherwise keep the first store it saw for a day and put it back in place of
    // ours, so a CA trusted once (TARVELO_CA_FILE) would stay trusted after it was taken away.
    curl_easy_setopt(h, CURLOPT_CA_CACHE_TIMEOUT, 0L);
    // The certificate may be chosen differently from one call to the next: no reused connection
    // or TLS session may carry an earlier choice.
    curl_easy_setopt(h, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, settings.stallSeconds);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, beforeRequest);

    curl_slist* headers = nullptr;
    for (const auto& [name, value] : request.headers) {
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        headers = curl_slist_append(headers, line.c_str());
    }
    headers = curl_slist_append(headers, "Expect:");
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(headers, curl_slist_free_all);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);

    if (request.method == "POST") {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    } else if (request.method != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }

    active = &state;
    const CURLcode rc = curl_easy_perform(h);
    active = nullptr;
    if (state.chooserError) std::rethrow_exception(state.chooserError);
    if (rc != CURLE_OK)
        throw Error(transportMessage(rc, errorBuffer, origin(request.url), state.connected, settings));

    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    response.statusCode = static_cast<int>(code);
    response.statusText = state.statusText;
    response.contentType = mediaType(state.contentTypeHeader);
    return response;
}

}  // namespace platform::http
