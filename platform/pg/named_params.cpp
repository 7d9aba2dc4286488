#include "platform/pg/named_params.h"

#include <algorithm>
#include <cctype>

namespace platform::pg {
namespace {

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Index just past a quoted run that starts at `i` with `quote`; a doubled quote stays inside.
size_t skipQuoted(const std::string& s, size_t i, char quote) {
    for (size_t j = i + 1; j < s.size(); ++j) {
        if (s[j] == quote) {
            if (j + 1 < s.size() && s[j + 1] == quote) {
                ++j;
                continue;
            }
            return j + 1;
        }
    }
    return s.size();
}

// A dollar-quote tag ($$ or $tag$) starting at `i`, or empty when there is none.
std::string dollarTag(const std::string& s, size_t i) {
    size_t j = i + 1;
    if (j < s.size() && isNameStart(s[j]))
        while (j < s.size() && isNameChar(s[j])) ++j;
    if (j < s.size() && s[j] == '$') return s.substr(i, j - i + 1);
    return {};
}

}  // namespace

NamedSql parseNamedParameters(const std::string& sql) {
    NamedSql out;
    out.text.reserve(sql.size());
    size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            // E'...' strings with backslash escapes: a backslash hides the next character.
            const bool escaped = c == '\'' && i > 0 && (sql[i - 1] == 'E' || sql[i - 1] == 'e') &&
                                 (i == 1 || !isNameChar(sql[i - 2]));
            size_t end;
            if (escaped) {
                end = i + 1;
                while (end < sql.size() && sql[end] != '\'') end += sql[end] == '\\' ? 2 : 1;
                end = std::min(end + 1, sql.size());
            } else {
                end = skipQuoted(sql, i, c);
            }
            out.text.append(sql, i, end - i);
            i = end;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            size_t end = sql.find('\n', i);
            end = end == std::string::npos ? sql.size() : end;
            out.text.append(sql, i, end - i);
            i = end;
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            size_t end = sql.find("*/", i + 2);
            end = end == std::string::npos ? sql.size() : end + 2;
            out.text.append(sql, i, end - i);
            i = end;
        } else if (c == '$' && !dollarTag(sql, i).empty() && (i == 0 || !isNameChar(sql[i - 1]))) {
            const std::string tag = dollarTag(sql, i);
            size_t end = sql.find(tag, i + tag.size());
            end = end == std::string::npos ? sql.size() : end + tag.size();
            out.text.append(sql, i, end - i);
            i = end;
        } else if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
            out.text.append("::");
            i += 2;
        } else if (c == ':' && i + 1 < sql.size() && isNameStart(sql[i + 1])) {
            size_t end = i + 1;
            while (end < sql.size() && isNameChar(sql[end])) ++end;
            const std::string name = sql.substr(i + 1, end - i - 1);
            auto it = std::find(out.names.begin(), out.names.end(), name);
            size_t number = static_cast<size_t>(it - out.names.begin()) + 1;
            if (it == out.names.end()) out.names.push_back(name);
            out.text += '$' + std::to_string(number);
            i = end;
        } else {
            out.text += c;
            ++i;
        }
    }
    return out;
}

}  // namespace platform::pg
