#pragma once
// The stand-in's notion of "now": the system clock, optionally shifted so that a run started
// with --now T sees T at start and time passing from there. Lists, new messages, upload answers
// and the time services all read this one clock, so a shifted demo stays consistent.

#include <chrono>
#include <cstdint>
#include <string>

namespace standin {

class Clock {
public:
    // startAt: seconds since the epoch that "now" is at construction; 0 = the system clock.
    explicit Clock(std::int64_t startAt = 0);
    std::int64_t now() const;  // seconds since the epoch
    std::chrono::system_clock::time_point nowPoint() const;

private:
    std::chrono::system_clock::duration offset_{};
};

// Seconds since the epoch as local time (the process's TZ) in strftime's `format`.
std::string formatLocal(std::int64_t epochSeconds, const char* format);
// "yyyyMMddHHmm" in local time, the form of SPV's "data_creare" and "dateResponse".
std::string stamp12(std::int64_t epochSeconds);
// Local midnight of the day that holds `epochSeconds`.
std::int64_t startOfLocalDay(std::int64_t epochSeconds);

}  // namespace standin
