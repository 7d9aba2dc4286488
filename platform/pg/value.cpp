#include "platform/pg/value.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace platform::pg {
namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

bool readInt(const std::string& text, size_t pos, size_t len, int& out) {
    if (pos + len > text.size()) return false;
    const char* begin = text.data() + pos;
    auto [ptr, ec] = std::from_chars(begin, begin + len, out);
    return ec == std::errc() && ptr == begin + len;
}

}  // namespace

Date makeDate(int year, unsigned month, unsigned day) {
    return Date{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
}

Timestamp makeTimestamp(int year, unsigned month, unsigned day, int hour, int minute, int second) {
    using namespace std::chrono;
    return local_days{sys_days{makeDate(year, month, day)}.time_since_epoch()} + hours{hour} + minutes{minute} + seconds{second};
}

std::string formatDate(const Date& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(d.year()),
                  static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
    return buf;
}

std::string formatTimestamp(const Timestamp& t) {
    using namespace std::chrono;
    const auto day = floor<days>(t);
    const hh_mm_ss<microseconds> tod{t - day};
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s %02d:%02d:%02d.%06lld",
                  formatDate(year_month_day{sys_days{day.time_since_epoch()}}).c_str(),
                  static_cast<int>(tod.hours().count()), static_cast<int>(tod.minutes().count()),
                  static_cast<int>(tod.seconds().count()),
                  static_cast<long long>(tod.subseconds().count()));
    return buf;
}

Date parseDate(const std::string& text) {
    int y = 0, m = 0, d = 0;
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !readInt(text, 0, 4, y) ||
        !readInt(text, 5, 2, m) || !readInt(text, 8, 2, d))
        throw std::invalid_argument("'" + text + "' is not a valid date");
    Date date = makeDate(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
    if (!date.ok()) throw std::invalid_argument("'" + text + "' is not a valid date");
    return date;
}

Timestamp parseTimestamp(const std::string& text) {
    using namespace std::chrono;
    const Date date = parseDate(text);
    int h = 0, mi = 0, s = 0;
    if (text.size() < 19 || (text[10] != ' ' && text[10] != 'T') || !readInt(text, 11, 2, h) ||
        !readInt(text, 14, 2, mi) || !readInt(text, 17, 2, s))
        throw std::invalid_argument("'" + text + "' is not a valid timestamp");
    long long micros = 0;
    size_t pos = 19;
    if (pos < text.size() && text[pos] == '.') {
        int digits = 0;
        for (++pos; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
            if (digits < 6) {
                micros = micros * 10 + (text[pos] - '0');
                ++digits;
            }
        }
        for (; digits < 6; ++digits) micros *= 10;
    }
    return local_days{sys_days{date}.time_since_epoch()} + hours{h} + minutes{mi} + seconds{s} + microseconds{micros};
}

std::string Value::asString() const {
    return std::visit(
        Overloaded{[](std::monostate) { return std::string(); },
                   [](const std::string& s) { return s; },
                   [](std::int64_t v) { return std::to_string(v); },
                   [](bool v) { return std::string(v ? "true" : "false"); },
                   [](double v) {
                       char buf[64];
                       auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
                       return std::string(buf, ptr);
                   },
                   [](const Date& d) { return formatDate(d); },
                   [](const Timestamp& t) { return formatTimestamp(t); },
                   [](const Bytes& b) { return std::string(b.begin(), b.end()); }},
        data_);
}

std::int64_t Value::asInt64() const {
    if (auto p = std::get_if<std::int64_t>(&data_)) return *p;
    if (auto p = std::get_if<double>(&data_)) return static_cast<std::int64_t>(*p);
    if (auto p = std::get_if<bool>(&data_)) return *p ? 1 : 0;
    if (auto p = std::get_if<std::string>(&data_)) {
        std::int64_t v = 0;
        auto [ptr, ec] = std::from_chars(p->data(), p->data() + p->size(), v);
        if (ec != std::errc() || ptr != p->data() + p->size())
            throw std::invalid_argument("'" + *p + "' is not a valid integer value");
        return v;
    }
    if (isNull()) return 0;
    throw std::invalid_argument("value is not a number");
}

double Value::asDouble() const {
    if (auto p = std::get_if<double>(&data_)) return *p;
    if (auto p = std::get_if<std::int64_t>(&data_)) return static_cast<double>(*p);
    if (auto p = std::get_if<std::string>(&data_)) {
        char* end = nullptr;
        const double v = std::strtod(p->c_str(), &end);
        if (p->empty() || end != p->c_str() + p->size())
            throw std::invalid_argument("'" + *p + "' is not a valid floating point value");
        return v;
    }
    if (isNull()) return 0.0;
    throw std::invalid_argument("value is not a number");
}

bool Value::asBool() const {
    if (auto p = std::get_if<bool>(&data_)) return *p;
    if (auto p = std::get_if<std::int64_t>(&data_)) return *p != 0;
    if (auto p = std::get_if<std::string>(&data_)) return *p == "t" || *p == "true" || *p == "1";
    return false;
}

std::optional<Date> Value::asDate() const {
    if (auto p = std::get_if<Date>(&data_)) return *p;
    if (auto p = std::get_if<Timestamp>(&data_))
        return Date{std::chrono::sys_days{std::chrono::floor<std::chrono::days>(*p).time_since_epoch()}};
    if (auto p = std::get_if<std::string>(&data_)) return parseDate(*p);
    return std::nullopt;
}

std::optional<Timestamp> Value::asTimestamp() const {
    if (auto p = std::get_if<Timestamp>(&data_)) return *p;
    if (auto p = std::get_if<Date>(&data_))
        return std::chrono::local_days{std::chrono::sys_days{*p}.time_since_epoch()};
    if (auto p = std::get_if<std::string>(&data_)) return parseTimestamp(*p);
    return std::nullopt;
}

Bytes Value::asBytes() const {
    if (auto p = std::get_if<Bytes>(&data_)) return *p;
    if (auto p = std::get_if<std::string>(&data_)) return Bytes(p->begin(), p->end());
    return {};
}

}  // namespace platform::pg
