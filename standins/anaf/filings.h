#pragma once
// What clients filed with the stand-in while it runs: e-Factura uploads (so that the status
// query knows them) and e-Transport declarations with their UIT codes.

#include <cstdint>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct Upload {
    std::string index;         // "index_incarcare"
    std::string cif;
    std::string stare;         // "ok", "nok", "XML cu erori nepreluat de sistem"
    std::string idDescarcare;  // the message that answers it, when there is one
};

class UploadBook {
public:
    std::string nextIndex();
    void put(const Upload& upload);
    std::optional<Upload> find(const std::string& index) const;
    void reset();

private:
    mutable std::mutex mutex_;
    std::map<std::string, Upload> uploads_;
    std::uint64_t next_ = 5100000001ULL;
};

struct Declaration {
    std::string index;
    std::string uit;
    std::string cif;
    std::string action;  // notificare, corectie, stergere, confirmare, modifVehicul
    std::string stare;   // "ok" or "nok" once processed
    nlohmann::json errors = nlohmann::json::array();  // [{"errorMessage": ...}] when "nok"
    std::int64_t createdAt = 0;
    std::string reference;  // refDeclarant of a notification
    std::string vehicle;
};

class TransportBook {
public:
    enum class UitState { unknown, active, confirmed, deleted };

    // Reads one declaration XML and files it. On refusal returns the error texts and files
    // nothing; else fills `filed` (with a new UIT for a first notification).
    std::vector<std::string> file(const std::string& xml, const std::string& cif, std::int64_t now, Declaration& filed);
    std::optional<Declaration> find(const std::string& index) const;
    std::vector<Declaration> since(const std::string& cif, std::int64_t from) const;
    void reset();

private:
    std::string newUit();
    mutable std::mutex mutex_;
    std::map<std::string, Declaration> byIndex_;
    std::map<std::string, UitState> uits_;
    std::uint64_t next_ = 5200000001ULL;
};

}  // namespace standin
