#include "platform/ui/grid/grid_format.h"

#include <QString>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace platform::ui {
namespace {

using Format = GridColumn::Format;

void appendDigits(std::string& out, long long value, int width) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value < 0 ? -value : value);
    if (value < 0) out.push_back('-');
    for (int pad = width - static_cast<int>(end - buf); pad > 0; --pad) out.push_back('0');
    out.append(buf, end);
}

// Text on one line, as a cell shows it: line breaks and tabs become spaces.
void appendOneLine(std::string& out, std::string_view text) {
    const size_t at = out.size();
    out += text;
    for (size_t i = at; i < out.size(); ++i) {
        char& c = out[i];
        if (c == '\r' && i + 1 < out.size() && out[i + 1] == '\n') out.erase(i + 1, 1);
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
}

void appendRaw(std::string& out, CellRef cell) {
    if (cell.text) {
        appendOneLine(out, *cell.text);
    } else if (const auto* s = std::get_if<std::string>(&cell.value->raw())) {
        appendOneLine(out, *s);  // no copy through asString() for the common case
    } else if (std::holds_alternative<platform::pg::Bytes>(cell.value->raw())) {
        out += "(binar)";
    } else {
        out += cell.value->asString();
    }
}

std::optional<double> parseWholeNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return v;
}

}  // namespace

void appendMoney(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += std::isnan(value) ? "NaN" : (value < 0 ? "-INF" : "INF");
        return;
    }
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    std::string_view s(buf, static_cast<size_t>(end - buf));
    const bool negative = s.front() == '-';
    if (negative) s.remove_prefix(1);
    const size_t point = s.find('.');
    const std::string_view whole = s.substr(0, point);
    if (negative && s.find_first_not_of("0.") != std::string_view::npos) out.push_back('-');  // never "-0.00"
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(whole[i]);
    }
    out += s.substr(point);
}

QString money(double value) {
    std::string s;
    appendMoney(s, value);
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

void appendDate(std::string& out, const platform::pg::Date& date) {
    appendDigits(out, static_cast<unsigned>(date.day()), 2);
    out.push_back('.');
    appendDigits(out, static_cast<unsigned>(date.month()), 2);
    out.push_back('.');
    appendDigits(out, static_cast<int>(date.year()), 4);
}

void appendDateTime(std::string& out, const platform::pg::Timestamp& time) {
    const auto day = std::chrono::floor<std::chrono::days>(time);
    appendDate(out, platform::pg::Date{day});
    const std::chrono::hh_mm_ss clock(std::chrono::floor<std::chrono::seconds>(time - day));
    out.push_back(' ');
    appendDigits(out, clock.hours().count(), 2);
    out.push_back(':');
    appendDigits(out, clock.minutes().count(), 2);
    out.push_back(':');
    appendDigits(out, clock.seconds().count(), 2);
}

void appendDisplayText(std::string& out, CellRef cell, Format format) {
    if (cell.isNull()) return;
    if (cell.text || format == Format::Text) return appendRaw(out, cell);
    const auto& v = *cell.value;
    const auto* date = std::get_if<platform::pg::Date>(&v.raw());
    const auto* time = std::get_if<platform::pg::Timestamp>(&v.raw());
    switch (format) {
        case Format::Date:
            if (date) return appendDate(out, *date);
            if (time) return appendDate(out, platform::pg::Date{std::chrono::floor<std::chrono::days>(*time)});
            break;
        case Format::DateTime:
            if (time) return appendDateTime(out, *time);
            if (date) return appendDateTime(out, platform::pg::Timestamp{std::chrono::local_days{*date}});
            break;
        case Format::Number:
            if (const auto n = numberOf(cell)) return appendMoney(out, *n);
            break;
        case Format::Auto:
            if (date) return appendDate(out, *date);
            if (time) return appendDateTime(out, *time);
            break;
        case Format::Text: break;
    }
    appendRaw(out, cell);
}

std::string displayText(CellRef cell, Format format) {
    std::string s;
    appendDisplayText(s, cell, format);
    return s;
}

bool isAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

void appendLower(std::string& out, std::string_view text) {
    if (isAscii(text)) {
        const size_t at = out.size();
        out += text;
        for (size_t i = at; i < out.size(); ++i)
            if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] + ('a' - 'A'));
        return;
    }
    out += QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toLower().toStdString();
}

bool containsIgnoringCase(std::string_view haystack, std::string_view lowerNeedle) {
    if (lowerNeedle.empty()) return true;
    if (isAscii(lowerNeedle)) {
        // Byte-wise: an ASCII needle can only match ASCII bytes of UTF-8 text.
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
        if (haystack.size() < lowerNeedle.size()) return false;
        for (size_t i = 0; i + lowerNeedle.size() <= haystack.size(); ++i) {
            if (lower(haystack[i]) != lowerNeedle[0]) continue;
            size_t k = 1;
            while (k < lowerNeedle.size() && lower(haystack[i + k]) == lowerNeedle[k]) ++k;
            if (k == lowerNeedle.size()) return true;
        }
        return false;
    }
    std::string lowered;
    appendLower(lowered, haystack);
    return lowered.find(lowerNeedle) != std::string::npos;
}

std::optional<double> numberOf(CellRef cell) {
    if (cell.isNull()) return std::nullopt;
    if (cell.text) return parseWholeNumber(*cell.text);
    const auto& raw = cell.value->raw();
    if (const auto* d = std::get_if<double>(&raw)) return *d;
    if (const auto* i = std::get_if<std::int64_t>(&raw)) return static_cast<double>(*i);
    if (const auto* s = std::get_if<std::string>(&raw)) return parseWholeNumber(*s);
    return std::nullopt;
}

}  // namespace platform::ui
