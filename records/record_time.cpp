#include "records/record_time.h"

#include <chrono>
#include <cstdio>
#include <regex>

namespace {

constexpr int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

struct CivilDate {
    int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

bool ParseRelative(const std::string& text, int64_t nowMs, int64_t& utcMs) {
    static const std::regex kRelative(R"(^([0-9]{1,6})(min|h|d)$)");
    std::smatch match;
    if (!std::regex_match(text, match, kRelative)) return false;
    const int64_t count = std::stoll(match[1].str());
    const std::string unit = match[2].str();
    const int64_t unitMs = unit == "min" ? 60000 : unit == "h" ? 3600000 : kMsPerDay;
    utcMs = nowMs - count * unitMs;
    return true;
}

}  // namespace

int64_t UtcNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string FormatUtcDay(int64_t utcMs) {
    const CivilDate date = CivilFromDays(FloorDiv(utcMs, kMsPerDay));
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(date.year), date.month, date.day);
    return text;
}

std::string FormatUtcTime(int64_t utcMs) {
    const int64_t inDay = utcMs - FloorDiv(utcMs, kMsPerDay) * kMsPerDay;
    char text[32];
    std::snprintf(text, sizeof text, "T%02d:%02d:%02d.%03dZ", static_cast<int>(inDay / 3600000),
                  static_cast<int>(inDay / 60000 % 60), static_cast<int>(inDay / 1000 % 60),
                  static_cast<int>(inDay % 1000));
    return FormatUtcDay(utcMs) + text;
}

bool ParseUtcTime(const std::string& text, int64_t nowMs, int64_t& utcMs) {
    if (ParseRelative(text, nowMs, utcMs)) return true;
    static const std::regex kAbsolute(R"(^([0-9]{4})-([0-9]{2})-([0-9]{2})(?:[T ]([0-9]{2}):([0-9]{2})(?::([0-9]{2}))?)?Z?$)");
    std::smatch match;
    if (!std::regex_match(text, match, kAbsolute)) return false;
    const auto number = [&](int i) { return match[i].matched ? std::stoi(match[i].str()) : 0; };
    const int year = number(1), month = number(2), day = number(3);
    const int hour = number(4), minute = number(5), second = number(6);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return false;
    const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    // 2026-02-30 does not come back as itself.
    const CivilDate check = CivilFromDays(days);
    if (check.month != static_cast<unsigned>(month) || check.day != static_cast<unsigned>(day)) return false;
    utcMs = days * kMsPerDay + (hour * 3600 + minute * 60 + second) * int64_t{1000};
    return true;
}
