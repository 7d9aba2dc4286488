#include "http_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <cstdio>
#include <random>

namespace standin {

void answerJson(httplib::Response& res, int status, const nlohmann::ordered_json& body) {
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace), "application/json");
}

void answerXml(httplib::Response& res, int status, const std::string& xml) {
    res.status = status;
    res.set_content(xml, "application/xml");
}

void answerEroare(httplib::Response& res, const std::string& eroare, const std::string& titlu) {
    answerJson(res, 200, {{"eroare", eroare}, {"titlu", titlu}});
}

bool isDigits(const std::string& text, std::size_t maxLength) {
    return !text.empty() && text.size() <= maxLength && text.find_first_not_of("0123456789") == std::string::npos;
}

long long toNumber(const std::string& text, long long min, long long max, long long fallback) {
    if (!isDigits(text, 18)) return fallback;
    const long long v = std::stoll(text);
    return v < min || v > max ? fallback : v;
}

std::string traceId() {
    thread_local std::mt19937_64 rng{std::random_device{}()};
    const std::uint64_t a = rng(), b = rng();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08x-%04x-4%03x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFF),
                  static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3FFF)),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFULL));
    return buf;
}

std::string peerSerial(const httplib::Request& req) {
    if (!req.ssl) return {};
    X509* cert = SSL_get1_peer_certificate(req.ssl);
    if (!cert) return {};
    std::string out;
    if (BIGNUM* bn = ASN1_INTEGER_to_BN(X509_get_serialNumber(cert), nullptr)) {
        if (char* hex = BN_bn2hex(bn)) {
            out = hex;
            OPENSSL_free(hex);
        }
        BN_free(bn);
    }
    X509_free(cert);
    return out;
}

void dropConnection(const httplib::Request& req) {
    if (req.ssl) {
        const int fd = SSL_get_fd(req.ssl);
        if (fd >= 0) shutdown(fd, SHUT_RDWR);
        return;
    }
    // Plain HTTP: the library does not hand out the socket, so find it by the client's port.
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const int last = limit.rlim_cur > 65536 ? 65536 : static_cast<int>(limit.rlim_cur);
    for (int fd = 3; fd < last; ++fd) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) == 0 && peer.sin_family == AF_INET &&
            ntohs(peer.sin_port) == req.remote_port) {
            shutdown(fd, SHUT_RDWR);
            return;
        }
    }
}

}  // namespace standin
