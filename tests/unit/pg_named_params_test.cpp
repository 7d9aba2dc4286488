#include <gtest/gtest.h>

#include "platform/pg/named_params.h"
#include "platform/pg/value.h"

using platform::pg::parseNamedParameters;

TEST(NamedParameters, TurnsNamesIntoNumberedPlaceholdersAndLeavesEverythingElse) {
    struct Case {
        const char* sql;
        const char* text;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"select * from t where a = :pA and b = :pB", "select * from t where a = $1 and b = $2",
         {"pA", "pB"}},
        // the same name twice is one parameter
        {"where a = :p or b = :p", "where a = $1 or b = $1", {"p"}},
        // a cast is not a parameter
        {"select :pD::date, x::text", "select $1::date, x::text", {"pD"}},
        // literals and quoted identifiers keep their colons
        {"to_timestamp(c, 'YYYYMMDDHH24MI') and t = 'HH24:MI' and :x",
         "to_timestamp(c, 'YYYYMMDDHH24MI') and t = 'HH24:MI' and $1", {"x"}},
        {"select 'it''s :no', \"col:x\" from t where a = :yes",
         "select 'it''s :no', \"col:x\" from t where a = $1", {"yes"}},
        {"select E'a\\':no' , :yes", "select E'a\\':no' , $1", {"yes"}},
        // comments
        {"select 1 -- :no\n, :yes /* :no */", "select 1 -- :no\n, $1 /* :no */", {"yes"}},
        // dollar-quoted bodies
        {"do $body$ select :no $body$; select :yes", "do $body$ select :no $body$; select $1", {"yes"}},
        {"select $$:no$$, :yes", "select $$:no$$, $1", {"yes"}},
        // array slices and a lone colon stay as written
        {"select a[1:2], b : c", "select a[1:2], b : c", {}},
    };
    for (const auto& c : cases) {
        const auto parsed = parseNamedParameters(c.sql);
        EXPECT_EQ(parsed.text, c.text) << c.sql;
        EXPECT_EQ(parsed.names, c.names) << c.sql;
    }
}

TEST(Values, DateAndTimestampTextRoundTrip) {
    using namespace platform::pg;
    EXPECT_EQ(formatDate(parseDate("2024-02-29")), "2024-02-29");
    EXPECT_EQ(formatTimestamp(parseTimestamp("2024-03-01 23:59:07.25")), "2024-03-01 23:59:07.250000");
    EXPECT_EQ(formatTimestamp(makeTimestamp(2024, 3, 1, 0, 0, 0)), "2024-03-01 00:00:00.000000");
    EXPECT_THROW(parseDate("2023-02-29"), std::invalid_argument);
    EXPECT_THROW(parseDate("01.03.2024"), std::invalid_argument);
    EXPECT_THROW(Value("12a").asInt(), std::invalid_argument);
    EXPECT_EQ(Value().asString(), "");
    EXPECT_EQ(Value("12.5").asDouble(), 12.5);
}
