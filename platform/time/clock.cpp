#include "platform/time/clock.h"

#include <utility>

namespace platform::time {
namespace {
std::function<SystemTime()>& source() {
    static std::function<SystemTime()> s;
    return s;
}
}  // namespace

SystemTime now() {
    auto& s = source();
    return s ? s() : std::chrono::system_clock::now();
}

void setNowForTests(std::function<SystemTime()> replacement) { source() = std::move(replacement); }

}  // namespace platform::time

#include <ctime>

namespace platform::time {

LocalDateTime toLocal(SystemTime t) {
    using namespace std::chrono;
    const std::time_t seconds = system_clock::to_time_t(t);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    const auto day = local_days{year{tm.tm_year + 1900} / (tm.tm_mon + 1) / tm.tm_mday};
    const auto sub = duration_cast<microseconds>(t - floor<std::chrono::seconds>(t));
    return day + hours{tm.tm_hour} + minutes{tm.tm_min} + std::chrono::seconds{tm.tm_sec} + sub;
}

SystemTime fromLocal(LocalDateTime t) {
    using namespace std::chrono;
    const auto day = floor<days>(t);
    const year_month_day ymd{sys_days{day.time_since_epoch()}};
    const hh_mm_ss<microseconds> tod{t - day};
    std::tm tm{};
    tm.tm_year = static_cast<int>(ymd.year()) - 1900;
    tm.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    tm.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    tm.tm_hour = static_cast<int>(tod.hours().count());
    tm.tm_min = static_cast<int>(tod.minutes().count());
    tm.tm_sec = static_cast<int>(tod.seconds().count());
    tm.tm_isdst = -1;
    return system_clock::from_time_t(std::mktime(&tm)) + tod.subseconds();
}

}  // namespace platform::time
