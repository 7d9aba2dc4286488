#include "request_log.h"

#include <chrono>
#include <ctime>

namespace standin {
namespace {

std::string isoNow() {
    const auto now = std::chrono::system_clock::now();
    const auto t = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    char out[48];
    std::snprintf(out, sizeof out, "%s.%03lldZ", buf, static_cast<long long>(ms));
    return out;
}

}  // namespace

bool isUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (len == 0 || i + len > text.size()) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        if (len == 2 && c < 0xC2) return false;  // overlong
        i += len;
    }
    return true;
}

std::string base64Encode(const std::string& bytes) {
    static const char* const alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[v & 63] : '=';
    }
    return out;
}

std::string base64Decode(const std::string& text) {
    std::string out;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else if (c == '=') break;
        else return {};
        buffer = (buffer << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

void RequestLog::record(const std::string& role, const httplib::Request& req, const std::string& clientCertSerial) {
    nlohmann::json headers = nlohmann::json::object();
    for (const auto& [name, value] : req.headers)
        if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" && name != "LOCAL_PORT")
            headers[name] = value;
    const auto q = req.target.find('?');
    nlohmann::json entry = {{"role", role},
                            {"method", req.method},
                            {"target", req.target},
                            {"path", req.path},
                            {"query", q == std::string::npos ? "" : req.target.substr(q + 1)},
                            {"headers", headers},
                            {"body", req.body},
                            {"client_cert_serial", clientCertSerial},
                            {"time", isoNow()}};
    if (!isUtf8(req.body)) entry["body_base64"] = base64Encode(req.body);
    std::lock_guard lock(mutex_);
    entry["seq"] = ++seq_;
    entries_.push_back(std::move(entry));
}

std::string RequestLog::dump() const {
    std::lock_guard lock(mutex_);
    // Bytes that are not UTF-8 (in a body, a header, a path) show as U+FFFD here; the raw
    // body is in "body_base64".
    return entries_.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    entries_ = nlohmann::json::array();
}

}  // namespace standin
