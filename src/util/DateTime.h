#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace util {

// Days since 1899-12-30 00:00 local wall-clock time, the time of day as fraction
// (1 = one day, 1/86400 = one second). The form every stored file of the system uses.
using DateTime = double;

struct DateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int msec = 0;

    bool operator==(const DateTimeParts&) const = default;
};

// Civil-calendar arithmetic only, no time zone. Fields out of range carry over
// (January 32 is February 1, hour 24 is the next midnight).
DateTime encodeDateTime(int year, int month, int day, int hour, int minute, int second,
                        int msec = 0);

// Rounds to the nearest millisecond first. Non-finite values decode as the epoch; values
// outside years 1..9999 are clamped to that range.
DateTimeParts decodeDateTime(DateTime t);

// The current local wall-clock time with milliseconds.
DateTime nowLocal();

// Tokens yyyy, yy, mm (month), dd, hh, nn (minutes), ss, zzz (milliseconds), lowercase;
// every other character is copied as it stands.
std::string formatDateTime(std::string_view pattern, DateTime t);

// "yyyy-mm-dd hh:nn:ss", or "yyyy-mm-dd" alone for that midnight. A text shorter than
// ten characters means "not given" and yields `now`; anything else malformed or an
// impossible date or time yields nullopt.
std::optional<DateTime> readDateTime(std::string_view text, DateTime now);

// "yymmddhhnnss" with the year 2000 + yy; exactly twelve digits.
std::optional<DateTime> readCompactDateTime(std::string_view twelveDigits);

} // namespace util
