#include "records/record_time.h"

#include <chrono>
#include <cstdio>

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

// Exactly `width` decimal digits at pos; pos moves past them.
bool Digits(const std::string& text, size_t& pos, size_t width, int& value) {
    if (pos + width > text.size()) return false;
    value = 0;
    for (size_t i = 0; i < width; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += width;
    return true;
}

bool Expect(const std::string& text, size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

// "90min", "12h", "7d": that long before now.
bool ParseRelative(const std::string& text, int64_t nowMs, int64_t& utcMs) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 6) return false;
    const std::string unit = text.substr(digits);
    int64_t unitMs = 0;
    if (unit == "min") unitMs = 60000;
    else if (unit == "h") unitMs = 3600000;
    else if (unit == "d") unitMs = kMsPerDay;
    else return false;
    utcMs = nowMs - std::stoll(text.substr(0, digits)) * unitMs;
    return true;
}

struct CivilTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// YYYY-MM-DD, then optionally [T ]HH:MM[:SS], then an optional Z.
bool ParseAbsolute(const std::string& text, CivilTime& t) {
    size_t pos = 0;
    if (!Digits(text, pos, 4, t.year) || !Expect(text, pos, '-') || !Digits(text, pos, 2, t.month) ||
        !Expect(text, pos, '-') || !Digits(text, pos, 2, t.day))
        return false;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
        ++pos;
        if (!Digits(text, pos, 2, t.hour) || !Expect(text, pos, ':') || !Digits(text, pos, 2, t.minute)) return false;
        if (pos < text.size() && text[pos] == ':' && !(++pos, Digits(text, pos, 2, t.second))) return false;
    }
    if (pos < text.size() && text[pos] == 'Z') ++pos;
    return pos == text.size();
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
    CivilTime t;
    if (!ParseAbsolute(text, t)) return false;
    const int year = t.year, month = t.month, day = t.day;
    const int hour = t.hour, minute = t.minute, second = t.second;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return false;
    const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    // 2026-02-30 does not come back as itself.
    const CivilDate check = CivilFromDays(days);
    if (check.month != static_cast<unsigned>(month) || check.day != static_cast<unsigned>(day)) return false;
    utcMs = days * kMsPerDay + (hour * 3600 + minute * 60 + second) * int64_t{1000};
    return true;
}
