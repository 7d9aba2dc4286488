#pragma once
// Typed values that travel between our code and PostgreSQL: query parameters and result fields.

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace platform::pg {

// A calendar date without time zone (PostgreSQL `date`).
using Date = std::chrono::year_month_day;
// A wall-clock time without time zone (PostgreSQL `timestamp`), microsecond precision.
// Kept as a plain local_time so nothing converts it through a time zone by accident.
using Timestamp = std::chrono::local_time<std::chrono::microseconds>;
// A byte string (PostgreSQL `bytea`).
using Bytes = std::vector<unsigned char>;

enum class FieldKind { Text, Integer, BigInt, Boolean, Numeric, Date, Timestamp, Bytes };

class Value {
public:
    Value() = default;  // NULL
    Value(std::nullptr_t) {}
    Value(std::string v) : data_(std::move(v)) {}
    Value(const char* v) : data_(std::string(v)) {}
    Value(int v) : data_(static_cast<std::int64_t>(v)) {}
    Value(std::int64_t v) : data_(v) {}
    Value(bool v) : data_(v) {}
    Value(double v) : data_(v) {}
    Value(Date v) : data_(v) {}
    Value(Timestamp v) : data_(v) {}
    Value(Bytes v) : data_(std::move(v)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(data_); }

    // Conversions follow what a database layer's typed field offers: a NULL reads as the empty
    // value of the kind (empty text, 0, false); a text reads as a number when it is one.
    std::string asString() const;
    std::int64_t asInt64() const;
    int asInt() const { return static_cast<int>(asInt64()); }
    double asDouble() const;
    bool asBool() const;
    std::optional<Date> asDate() const;
    std::optional<Timestamp> asTimestamp() const;
    Bytes asBytes() const;

    bool operator==(const Value& other) const = default;

    const auto& raw() const { return data_; }

private:
    std::variant<std::monostate, std::string, std::int64_t, bool, double, Date, Timestamp, Bytes>
        data_;
};

// Text forms PostgreSQL reads and writes ("2024-03-01", "2024-03-01 14:05:00" with optional
// ".ffffff"). Throw std::invalid_argument on text that is not such a value.
std::string formatDate(const Date& d);
std::string formatTimestamp(const Timestamp& t);
Date parseDate(const std::string& text);
Timestamp parseTimestamp(const std::string& text);

Date makeDate(int year, unsigned month, unsigned day);
Timestamp makeTimestamp(int year, unsigned month, unsigned day, int hour = 0, int minute = 0,
                        int second = 0);

}  // namespace platform::pg
