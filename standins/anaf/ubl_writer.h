#pragma once
// Writes a CIUS-RO UBL 2.1 invoice or credit note: parties, lines, VAT breakdown per rate,
// totals, an optional payment rounding, and the VAT in RON beside a foreign currency.

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

struct Party {
    std::string name;
    std::string cui;        // digits
    std::string vatPrefix;  // "RO" for a VAT payer
    std::string city;
    std::string county;     // ISO 3166-2, e.g. "RO-CJ"
    std::string street;
    std::string regCom;
    std::string iban;
};

struct UblLine {
    std::string name;
    std::string unit;  // UN/ECE rec 20 code
    double quantity = 0;
    double price = 0;
    int vatPercent = 19;
};

struct UblDocument {
    bool credit = false;
    std::string number;
    std::int64_t issueDate = 0;  // local midnight, seconds since the epoch
    std::string currency = "RON";
    bool rounding = false;      // round the amount due to a whole unit
    bool prefixedRoot = false;  // <ubl:Invoice xmlns:ubl=...> instead of a default namespace
    std::string billingReference;
    Party supplier, customer;
    std::vector<UblLine> lines;
};

std::string writeUbl(const UblDocument& d);
std::string xmlEscape(const std::string& text);

}  // namespace standin
