#pragma once
// Every request the stand-in received, as the client sent it, for tests to assert the wire.

#include <httplib.h>

#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

namespace standin {

class RequestLog {
public:
    // One entry: seq, time, role, method, target (raw path and query as sent), path (decoded),
    // query (raw, after '?'), headers, body (text; "body_base64" too when it is not UTF-8),
    // client_cert_serial (upper-case hex, empty without a certificate).
    void record(const std::string& role, const httplib::Request& req, const std::string& clientCertSerial);
    std::string dump() const;  // a JSON array, oldest first
    void clear();

private:
    mutable std::mutex mutex_;
    nlohmann::json entries_ = nlohmann::json::array();
    std::uint64_t seq_ = 0;
};

bool isUtf8(const std::string& text);
std::string base64Encode(const std::string& bytes);
// Empty when `text` is not base64.
std::string base64Decode(const std::string& text);

}  // namespace standin
