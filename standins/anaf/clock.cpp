#include "clock.h"

#include <ctime>

namespace standin {

Clock::Clock(std::int64_t startAt) {
    if (startAt != 0)
        offset_ = std::chrono::seconds(startAt) - std::chrono::system_clock::now().time_since_epoch();
}

std::chrono::system_clock::time_point Clock::nowPoint() const { return std::chrono::system_clock::now() + offset_; }

std::int64_t Clock::now() const {
    return std::chrono::duration_cast<std::chrono::seconds>(nowPoint().time_since_epoch()).count();
}

std::string formatLocal(std::int64_t epochSeconds, const char* format) {
    const auto t = static_cast<std::time_t>(epochSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[96];
    const size_t n = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

std::string stamp12(std::int64_t epochSeconds) { return formatLocal(epochSeconds, "%Y%m%d%H%M"); }

std::int64_t startOfLocalDay(std::int64_t epochSeconds) {
    const auto t = static_cast<std::time_t>(epochSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

}  // namespace standin
