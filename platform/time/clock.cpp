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
