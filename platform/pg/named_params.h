#pragma once
// Turns `:name` parameters into PostgreSQL's `$n` placeholders. A `::` cast, text inside string
// literals, quoted identifiers, dollar-quoted bodies and comments are left alone. A name used
// twice gets the same number.

#include <string>
#include <vector>

namespace platform::pg {

struct NamedSql {
    std::string text;                 // with $1, $2, ...
    std::vector<std::string> names;   // names[i] is $(i+1)
};

NamedSql parseNamedParameters(const std::string& sql);

}  // namespace platform::pg
