#include "platform/time/local_text.h"

#include <ctime>

namespace platform::time {

std::string shortDateLongTime(SystemTime t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&seconds, &local);
    char buf[128];
    const size_t n = std::strftime(buf, sizeof buf, "%x %X", &local);
    return std::string(buf, n);
}

}  // namespace platform::time
