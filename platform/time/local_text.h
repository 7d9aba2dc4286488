#pragma once
// Local date and time as text in the user's regional short-date and long-time format
// (LC_TIME of the process locale).

#include <string>

#include "platform/time/clock.h"

namespace platform::time {

std::string shortDateLongTime(SystemTime t);
inline std::string nowText() { return shortDateLongTime(now()); }

}  // namespace platform::time
