#pragma once
// The application's clock. Everything that asks "what time is it" goes through here so tests can
// fix the time (the retrieval period, "today" of the certificate check, screen dates).

#include <chrono>
#include <functional>

namespace platform::time {

using SystemTime = std::chrono::system_clock::time_point;

// Current time; a test may replace the source with setNowForTests and restore it with nullptr.
SystemTime now();
void setNowForTests(std::function<SystemTime()> source);

}  // namespace platform::time

namespace platform::time {

// A wall-clock date and time of the process's time zone, without zone (what the user's clock
// shows). Calendar arithmetic on it is plain; conversion to an instant goes through mktime.
using LocalDateTime = std::chrono::local_time<std::chrono::microseconds>;

LocalDateTime toLocal(SystemTime t);
SystemTime fromLocal(LocalDateTime t);  // mktime under the process TZ
inline LocalDateTime localNow() { return toLocal(now()); }

}  // namespace platform::time
