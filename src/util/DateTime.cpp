#include "util/DateTime.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>

namespace util {

namespace {

constexpr int64_t msPerDay = 86'400'000;

// 0001-01-01 and 9999-12-31 as day counts from the epoch.
constexpr int64_t firstDay = -693'593;
constexpr int64_t lastDay = 2'958'465;

int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Day count of a proleptic Gregorian date relative to 0000-03-01, with the year starting
// in March so that the leap day is the last day of its year.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = floorDiv(y, 400);
    const int64_t yearOfEra = y - era * 400;
    const int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + dayOfEra;
}

const int64_t epochDay = daysFromCivil(1899, 12, 30);

void civilFromDays(int64_t days, DateTimeParts& p) {
    const int64_t era = floorDiv(days, 146'097);
    const int64_t dayOfEra = days - era * 146'097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    p.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    p.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    p.year = static_cast<int>(yearOfEra + era * 400 + (p.month <= 2 ? 1 : 0));
}

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : days[m - 1];
}

bool isValid(int y, int mo, int d, int h, int mi, int s) {
    return y >= 1 && y <= 9999 && mo >= 1 && mo <= 12 && d >= 1 && d <= daysInMonth(y, mo) &&
           h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 59;
}

// Reads exactly `width` decimal digits at `pos`; -1 when any is not a digit.
int digitsAt(std::string_view text, size_t pos, size_t width) {
    int value = 0;
    for (size_t i = pos; i < pos + width; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

void appendNumber(std::string& out, int value, int width) {
    char buf[8];
    for (int i = width - 1; i >= 0; --i) {
        buf[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(buf, static_cast<size_t>(width));
}

} // namespace

DateTime encodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    int64_t y = year;
    int64_t m = month - 1;
    y += floorDiv(m, 12);
    m -= floorDiv(m, 12) * 12;
    const int64_t days = daysFromCivil(y, m + 1, 1) + (day - 1) - epochDay;
    const int64_t ms = ((int64_t{hour} * 60 + minute) * 60 + second) * 1000 + msec;
    return static_cast<double>(days) + static_cast<double>(ms) / msPerDay;
}

DateTimeParts decodeDateTime(DateTime t) {
    DateTimeParts p;
    if (!std::isfinite(t)) return p;
    if (t < static_cast<double>(firstDay)) t = static_cast<double>(firstDay);
    if (t >= static_cast<double>(lastDay + 1)) t = static_cast<double>(lastDay) + 0.999'999;
    int64_t total = std::llround(t * static_cast<double>(msPerDay));
    if (total >= (lastDay + 1) * msPerDay) total = (lastDay + 1) * msPerDay - 1;
    const int64_t days = floorDiv(total, msPerDay);
    int64_t ms = total - days * msPerDay;
    civilFromDays(days + epochDay, p);
    p.msec = static_cast<int>(ms % 1000);
    ms /= 1000;
    p.second = static_cast<int>(ms % 60);
    ms /= 60;
    p.minute = static_cast<int>(ms % 60);
    p.hour = static_cast<int>(ms / 60);
    return p;
}

DateTime nowLocal() {
    using namespace std::chrono;
    const auto since = system_clock::now().time_since_epoch();
    const auto ms = duration_cast<milliseconds>(since).count();
    const std::time_t secs = static_cast<std::time_t>(floorDiv(ms, 1000));
    std::tm local{};
    localtime_r(&secs, &local);
    return encodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec,
                          static_cast<int>(ms - static_cast<int64_t>(secs) * 1000));
}

std::string formatDateTime(std::string_view pattern, DateTime t) {
    const DateTimeParts p = decodeDateTime(t);
    std::string out;
    out.reserve(pattern.size() + 4);
    size_t i = 0;
    while (i < pattern.size()) {
        const std::string_view rest = pattern.substr(i);
        if (rest.starts_with("yyyy")) {
            appendNumber(out, p.year, 4);
            i += 4;
        } else if (rest.starts_with("zzz")) {
            appendNumber(out, p.msec, 3);
            i += 3;
        } else if (rest.size() >= 2 && rest[0] == rest[1] &&
                   std::string_view("ymdhns").find(rest[0]) != std::string_view::npos) {
            switch (rest[0]) {
            case 'y':
                appendNumber(out, p.year % 100, 2);
                break;
            case 'm':
                appendNumber(out, p.month, 2);
                break;
            case 'd':
                appendNumber(out, p.day, 2);
                break;
            case 'h':
                appendNumber(out, p.hour, 2);
                break;
            case 'n':
                appendNumber(out, p.minute, 2);
                break;
            default:
                appendNumber(out, p.second, 2);
                break;
            }
            i += 2;
        } else {
            out.push_back(pattern[i]);
            ++i;
        }
    }
    return out;
}

std::optional<DateTime> readDateTime(std::string_view text, DateTime now) {
    if (text.size() < 10) return now;
    if (text.size() != 10 && text.size() != 19) return std::nullopt;
    if (text[4] != '-' || text[7] != '-') return std::nullopt;
    const int y = digitsAt(text, 0, 4);
    const int mo = digitsAt(text, 5, 2);
    const int d = digitsAt(text, 8, 2);
    int h = 0, mi = 0, s = 0;
    if (text.size() == 19) {
        if (text[10] != ' ' || text[13] != ':' || text[16] != ':') return std::nullopt;
        h = digitsAt(text, 11, 2);
        mi = digitsAt(text, 14, 2);
        s = digitsAt(text, 17, 2);
    }
    if (!isValid(y, mo, d, h, mi, s)) return std::nullopt;
    return encodeDateTime(y, mo, d, h, mi, s);
}

std::optional<DateTime> readCompactDateTime(std::string_view twelveDigits) {
    if (twelveDigits.size() != 12) return std::nullopt;
    int f[6];
    for (size_t i = 0; i < 6; ++i) {
        f[i] = digitsAt(twelveDigits, i * 2, 2);
        if (f[i] < 0) return std::nullopt;
    }
    const int y = 2000 + f[0];
    if (!isValid(y, f[1], f[2], f[3], f[4], f[5])) return std::nullopt;
    return encodeDateTime(y, f[1], f[2], f[3], f[4], f[5]);
}

} // namespace util
