#pragma once
// Small helpers shared by the roles' handlers.

#include <httplib.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace standin {

// Answers JSON with the members in the order written, as ANAF's services send them; text that
// is not UTF-8 (a client's own bytes echoed back) shows as U+FFFD rather than failing the answer.
void answerJson(httplib::Response& res, int status, const nlohmann::ordered_json& body);
void answerXml(httplib::Response& res, int status, const std::string& xml);
// ANAF's error answer for the e-Factura lists and downloads: {"eroare": ..., "titlu": ...}.
void answerEroare(httplib::Response& res, const std::string& eroare, const std::string& titlu);

// Only decimal digits, 1 to maxLength of them.
bool isDigits(const std::string& text, std::size_t maxLength = 18);
// A decimal number in [min, max], or `fallback`.
long long toNumber(const std::string& text, long long min, long long max, long long fallback);

// "trace_id" values: a random UUID, as ANAF's answers carry.
std::string traceId();
// Upper-case hexadecimal serial of the client's TLS certificate, empty without one.
std::string peerSerial(const httplib::Request& req);
// Closes the request's connection at once, so the client gets no answer at all.
void dropConnection(const httplib::Request& req);

}  // namespace standin
