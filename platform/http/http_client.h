#pragma once
// HTTP over libcurl, one synchronous request at a time. TLS 1.2 or later with the server's
// certificate and host name always verified; an extra CA file may be trusted besides the system's.
// When a server asks for a client certificate, the request's chooser picks one (or raises).

#include <openssl/ossl_typ.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace platform::http {

// A transport failure: no connection, TLS refused, a stalled transfer. The text names the server
// (scheme, host, port), never the path, the query or a header.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Presents a client certificate: fills cert and key (references owned by the caller afterwards,
// as OpenSSL expects) and returns true, or returns false to present none. May throw; the
// exception then ends the request.
using CertificateChooser = std::function<bool(X509** cert, EVP_PKEY** key)>;

struct Request {
    std::string method = "GET";
    std::string url;  // whole address, query included
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool hasBody = false;
    bool followRedirects = false;
    CertificateChooser chooser;  // none: no certificate is ever presented
};

struct Response {
    int statusCode = 0;
    std::string statusText;
    std::string contentType;  // media type without parameters, e.g. "application/zip"
    std::string body;         // raw bytes
};

// A dead server must not hold the (single) user-interface thread for ever, but a slow answer that
// keeps moving is never cut: there is no limit on a transfer's total time.
struct TransportSettings {
    std::string extraCaFile;         // trusted besides the system's store
    long connectTimeoutSeconds = 30; // TCP connection and TLS handshake
    long stallSeconds = 120;         // abort when not one byte moves for this long
};

TransportSettings defaultTransportSettings();  // extra CA from TARVELO_CA_FILE

Response perform(const Request& request, const TransportSettings& settings = defaultTransportSettings());

// Percent-encodes only what cannot stand raw in a query or a form: blanks, control characters,
// non-ASCII bytes and the characters that would change the meaning (" # % & + < > \ ^ ` { | }).
// Everything ANAF's values use (digits, letters, - . _ : / = , ...) goes on the wire unchanged.
std::string encodeUnsafe(const std::string& value);

// "name=value" pairs joined with '&', values passed through encodeUnsafe.
std::string joinParams(const std::vector<std::pair<std::string, std::string>>& params);

}  // namespace platform::http
