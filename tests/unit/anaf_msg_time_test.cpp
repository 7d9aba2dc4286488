// The two conversions between the list requests, the time services and local time: the ISO 8601
// reader and the whole-seconds-plus-"000" form of S and E.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "anaf/u_fProcAnaf.h"

using namespace std::chrono;
using platform::time::LocalDateTime;

namespace {

LocalDateTime at(int y, unsigned mo, unsigned d, int h, int mi, int s, int us = 0) {
    return LocalDateTime{local_days{year{y} / mo / d}} + hours{h} + minutes{mi} + seconds{s} +
           microseconds{us};
}

// Runs the test body under a given process time zone and restores the previous one.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old, hadPrevious_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (hadPrevious_) setenv("TZ", previous_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

}  // namespace

TEST(AnafMsgIso8601, OffsetsAreConvertedToUtcAndAValueWithoutZoneIsTakenAsWritten) {
    const struct {
        const char* text;
        LocalDateTime expected;
    } cases[] = {
        // the two time services' own shapes
        {"2024-03-01T12:34:56.1234567", at(2024, 3, 1, 12, 34, 56, 123456)},
        {"2024-03-01T12:34:56.123456+02:00", at(2024, 3, 1, 10, 34, 56, 123456)},
        {"2024-07-01T00:30:00+03:00", at(2024, 6, 30, 21, 30, 0)},  // across midnight and month
        {"2024-03-01T12:34:56-05:30", at(2024, 3, 1, 18, 4, 56)},
        {"2024-03-01T12:34:56+02", at(2024, 3, 1, 10, 34, 56)},
        {"2024-03-01T12:34:56+0200", at(2024, 3, 1, 10, 34, 56)},
        {"2024-03-01T12:34:56z", at(2024, 3, 1, 12, 34, 56)},
        {"2024-03-01 12:34:56,5", at(2024, 3, 1, 12, 34, 56, 500000)},
        {"2024-02-29T23:59:60", at(2024, 3, 1, 0, 0, 0)},  // a leap second rolls over
    };
    for (const auto& c : cases) EXPECT_EQ(parseIso8601(c.text), c.expected) << c.text;
}

TEST(AnafMsgIso8601, AnythingElseIsNotADateTime) {
    for (const char* text : {
             "2024-03-01T12:34:56+02:00 trailing", "2024-03-01T12:34:56Zx", "2024-03-01T12:34:56.",
             "2024-03-01T12:34", "2024- 3-01T12:34:56", "2024-+3-01T12:34:56", "+024-03-01T12:34:56",
             "2024-03-01T24:00:00", "2024-03-01T12:60:00", "2023-02-29T00:00:00", "2024-03-01T12:34:56+2:00",
             "2024-03-01T12:34:56+24:00", "2024-03-01T12:34:56+02:0", "2024-03-01X12:34:56", "null"})
        EXPECT_FALSE(parseIso8601(text).has_value()) << text;
}

TEST(AnafMsgEpochMillis, LocalTimeUnderTheProcessZoneInWholeSecondsFollowedByThreeZeros) {
    ScopedTimeZone zone("Europe/Bucharest");
    const struct {
        LocalDateTime local;
        const char* expected;
    } cases[] = {
        {at(2024, 3, 1, 0, 0, 0), "1709244000000"},              // winter, UTC+2
        {at(2024, 7, 1, 0, 0, 0), "1719781200000"},              // summer, UTC+3
        {at(2024, 3, 1, 0, 0, 0, 999999), "1709244000000"},      // the fraction is dropped, not rounded
        {at(2024, 3, 31, 4, 0, 0), "1711846800000"},             // first hour of summer time
        {at(1970, 1, 1, 2, 0, 1), "1000"},
    };
    for (const auto& c : cases) EXPECT_EQ(TfProcAnaf::epochMillisText(c.local), c.expected);

    ScopedTimeZone utc("UTC");
    EXPECT_EQ(TfProcAnaf::epochMillisText(at(2024, 3, 1, 0, 0, 0)), "1709251200000");
}
