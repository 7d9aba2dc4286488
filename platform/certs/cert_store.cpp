#include "platform/certs/cert_store.h"

#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform::certs {
namespace {

namespace fs = std::filesystem;

std::chrono::system_clock::time_point toTimePoint(const ASN1_TIME* t) {
    std::tm tm{};
    ASN1_TIME_to_tm(t, &tm);
    return std::chrono::system_clock::from_time_t(timegm(&tm));
}

std::string serialHex(X509* cert) {
    BIGNUM* bn = ASN1_INTEGER_to_BN(X509_get_serialNumber(cert), nullptr);
    if (!bn) return {};
    char* hex = BN_bn2hex(bn);
    std::string out = hex ? hex : "";
    OPENSSL_free(hex);
    BN_free(bn);
    return out;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int passwordCallback(char* buf, int size, int, void* user) {
    const auto* password = static_cast<const std::string*>(user);
    const int n = std::min(size, static_cast<int>(password->size()));
    std::copy_n(password->data(), n, buf);
    return n;
}

bool loadPem(const std::string& data, const std::string& password, X509** cert, EVP_PKEY** key) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())), BIO_free);
    *cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
    std::unique_ptr<BIO, decltype(&BIO_free)> keyBio(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())), BIO_free);
    *key = PEM_read_bio_PrivateKey(keyBio.get(), nullptr, passwordCallback, const_cast<std::string*>(&password));
    return *cert && *key;
}

bool loadP12(const std::string& data, const std::string& password, X509** cert, EVP_PKEY** key) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())), BIO_free);
    PKCS12* p12 = d2i_PKCS12_bio(bio.get(), nullptr);
    if (!p12) return false;
    STACK_OF(X509)* chain = nullptr;
    const bool ok = PKCS12_parse(p12, password.c_str(), key, cert, &chain) == 1;
    sk_X509_pop_free(chain, X509_free);
    PKCS12_free(p12);
    return ok && *cert && *key;
}

}  // namespace

std::string defaultStoreFolder() {
    if (const char* dir = std::getenv("TARVELO_CERT_DIR"); dir && *dir) return dir;
    // a relative XDG_DATA_HOME is invalid and would make the store depend on the working folder
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        return std::string(data) + "/tarvelo/certificates";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.local/share/tarvelo/certificates";
}

std::vector<Candidate> loadCandidates(const std::string& folder, const std::string& password) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.is_regular_file(ec)) files.push_back(entry.path());
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    std::vector<Candidate> out;
    for (const auto& file : files) {
        std::string ext = file.extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext != ".pem" && ext != ".p12" && ext != ".pfx") continue;
        X509* cert = nullptr;
        EVP_PKEY* key = nullptr;
        const std::string data = readFile(file);
        const bool ok = ext == ".pem" ? loadPem(data, password, &cert, &key) : loadP12(data, password, &cert, &key);
        if (!ok || X509_check_private_key(cert, key) != 1) {
            X509_free(cert);
            EVP_PKEY_free(key);
            continue;  // unreadable, wrong password or mismatched key: not a candidate
        }
        Candidate c;
        c.file = file.filename().string();
        c.serialNumber = serialHex(cert);
        c.validFrom = toTimePoint(X509_get0_notBefore(cert));
        c.validTo = toTimePoint(X509_get0_notAfter(cert));
        c.certificate = std::shared_ptr<X509>(cert, X509_free);
        c.key = std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
        out.push_back(std::move(c));
    }
    return out;
}

std::vector<Candidate> loadDefaultCandidates() {
    const char* pw = std::getenv("TARVELO_CERT_PASSWORD");
    const std::string folder = defaultStoreFolder();
    // Read anew only when the folder's files changed: parsing keys is slow and every TLS
    // handshake with the certificate host asks for the list.
    std::string signature = folder + '\n' + (pw ? pw : "");
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const auto time = entry.last_write_time(ec).time_since_epoch().count();
        signature += entry.path().filename().string() + ':' + std::to_string(entry.file_size(ec)) + ':' +
                     std::to_string(time) + '\n';
    }
    static std::string cachedSignature;
    static std::vector<Candidate> cached;
    if (signature != cachedSignature) {
        cached = loadCandidates(folder, pw ? pw : "");
        cachedSignature = signature;
    }
    return cached;
}

}  // namespace platform::certs
