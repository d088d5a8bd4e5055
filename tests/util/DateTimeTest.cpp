#include "util/DateTime.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace {

using util::DateTime;
using util::DateTimeParts;

TEST(DateTime, KnownDayCounts) {
    struct Case {
        DateTimeParts p;
        DateTime expected;
    };
    const Case cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
        {{1899, 12, 29, 0, 0, 0, 0}, -1.0},
        {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
        {{1900, 3, 1, 0, 0, 0, 0}, 61.0}, // 1900 is not a leap year
        {{2000, 2, 29, 18, 0, 0, 0}, 36585.75},
        {{2026, 12, 10, 12, 0, 0, 0}, 46366.5},
        {{2026, 12, 10, 0, 0, 1, 0}, 46366.0 + 1.0 / 86400},
        {{9999, 12, 31, 0, 0, 0, 0}, 2958465.0},
    };
    for (const auto& c : cases) {
        const auto& p = c.p;
        EXPECT_DOUBLE_EQ(
            util::encodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.msec),
            c.expected)
            << p.year << '-' << p.month << '-' << p.day;
        EXPECT_EQ(util::decodeDateTime(c.expected), p) << c.expected;
    }
}

TEST(DateTime, RoundTripsCalendarEdges) {
    const DateTimeParts cases[] = {
        {2024, 2, 29, 23, 59, 59, 999},  {2023, 2, 28, 23, 59, 59, 999},
        {2000, 2, 29, 0, 0, 0, 1},       {2100, 2, 28, 12, 30, 0, 0},
        {2026, 1, 31, 23, 59, 59, 0},    {2026, 4, 30, 8, 0, 0, 500},
        {2026, 12, 31, 23, 59, 59, 999}, {1970, 1, 1, 0, 0, 0, 0},
        {1899, 12, 31, 6, 7, 8, 9},      {1, 1, 1, 0, 0, 0, 0},
        {1850, 7, 4, 13, 14, 15, 16},    {9999, 12, 31, 23, 59, 59, 999},
    };
    for (const auto& p : cases) {
        const DateTime t =
            util::encodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.msec);
        EXPECT_EQ(util::decodeDateTime(t), p) << util::formatDateTime("yyyy-mm-dd hh:nn:ss.zzz", t);
    }
}

TEST(DateTime, DecodeRoundsFloatErrorToTheNearestMillisecond) {
    const DateTime noon = util::encodeDateTime(2026, 12, 10, 12, 0, 0);
    // Just below noon by far less than a millisecond: must not show 11:59:59.999.
    EXPECT_EQ(util::formatDateTime("hh:nn:ss.zzz", noon - 1e-10), "12:00:00.000");
    // Summing seconds one by one drifts; the decoded value must still land on the second.
    DateTime t = util::encodeDateTime(2026, 12, 31, 23, 59, 0);
    for (int i = 0; i < 60; ++i)
        t += 1.0 / 86400;
    EXPECT_EQ(util::formatDateTime("yyyy-mm-dd hh:nn:ss.zzz", t), "2027-01-01 00:00:00.000");
    // Half a millisecond below midnight rounds into the next day, not to 24:00.
    EXPECT_EQ(util::formatDateTime("yyyy-mm-dd hh:nn:ss.zzz", 2.0 - 0.4 / 86'400'000),
              "1900-01-01 00:00:00.000");
}

TEST(DateTime, EncodeCarriesFieldsOutOfRange) {
    EXPECT_DOUBLE_EQ(util::encodeDateTime(2026, 1, 32, 0, 0, 0),
                     util::encodeDateTime(2026, 2, 1, 0, 0, 0));
    EXPECT_DOUBLE_EQ(util::encodeDateTime(2026, 13, 1, 0, 0, 0),
                     util::encodeDateTime(2027, 1, 1, 0, 0, 0));
    EXPECT_DOUBLE_EQ(util::encodeDateTime(2026, 3, 31, 24, 0, 0),
                     util::encodeDateTime(2026, 4, 1, 0, 0, 0));
    EXPECT_DOUBLE_EQ(util::encodeDateTime(2026, 0, 1, 0, 0, 0),
                     util::encodeDateTime(2025, 12, 1, 0, 0, 0));
}

TEST(DateTime, DecodeOfNonFiniteValueIsTheEpoch) {
    EXPECT_EQ(util::decodeDateTime(std::numeric_limits<double>::quiet_NaN()), DateTimeParts{});
    EXPECT_EQ(util::decodeDateTime(std::numeric_limits<double>::infinity()).year, 1899);
    EXPECT_EQ(util::decodeDateTime(1e300).year, 9999);
    EXPECT_EQ(util::decodeDateTime(-1e300).year, 1);
}

TEST(DateTime, FormatsEveryPattern) {
    const DateTime t = util::encodeDateTime(2026, 3, 7, 9, 5, 4, 32);
    const struct {
        const char* pattern;
        const char* expected;
    } cases[] = {
        {"yyyy-mm-dd hh:nn:ss", "2026-03-07 09:05:04"},
        {"yymmdd000000", "260307000000"},
        {"yymmddhhnnss", "260307090504"},
        {"yyyy-mm-dd hh.nn.ss", "2026-03-07 09.05.04"},
        {"mm-dd hh:nn", "03-07 09:05"},
        {"yyyy-mm-dd hhnnss", "2026-03-07 090504"},
        {"hh:nn", "09:05"},
        {"yyyy-mm-dd", "2026-03-07"},
        {"hh:nn:ss.zzz", "09:05:04.032"},
        {"", ""},
        // Lone or uppercase letters are not tokens.
        {"y m d h n s z HH [yyyyy]", "y m d h n s z HH [2026y]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(util::formatDateTime(c.pattern, t), c.expected) << c.pattern;
    }
    EXPECT_EQ(util::formatDateTime("yyyy yy", util::encodeDateTime(905, 1, 1, 0, 0, 0)), "0905 05");
}

TEST(DateTime, ReadsFullAndDateOnlyText) {
    const DateTime now = 12345.25;
    const struct {
        const char* text;
        std::optional<DateTime> expected;
    } cases[] = {
        {"2026-12-10 12:00:00", 46366.5},
        {"2024-02-29 23:59:59", util::encodeDateTime(2024, 2, 29, 23, 59, 59)},
        {"1899-12-30 00:00:00", 0.0},
        {"2026-12-10", 46366.0},
        // Shorter than a date means "not given".
        {"", now},
        {"2026-1-5", now},
        {"abcdefghi", now},
        // Malformed.
        {"2026-12-10 12:00", std::nullopt},
        {"2026-12-10 ", std::nullopt},
        {"2026/12/10", std::nullopt},
        {"2026-12-10T12:00:00", std::nullopt},
        {"2026-12-10 12-00-00", std::nullopt},
        {"2026-12-1a 12:00:00", std::nullopt},
        {"2026-12-10 12:00:00Z", std::nullopt},
        {" 2026-12-10 12:00:00", std::nullopt},
        {"+026-12-10", std::nullopt},
        // Impossible.
        {"2026-13-01 00:00:00", std::nullopt},
        {"2026-00-10", std::nullopt},
        {"2026-02-30 00:00:00", std::nullopt},
        {"2023-02-29", std::nullopt},
        {"2100-02-29", std::nullopt},
        {"2026-04-31", std::nullopt},
        {"2026-12-00", std::nullopt},
        {"0000-01-01", std::nullopt},
        {"2026-12-10 24:00:00", std::nullopt},
        {"2026-12-10 23:60:00", std::nullopt},
        {"2026-12-10 23:59:60", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = util::readDateTime(c.text, now);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << '"' << c.text << '"';
        if (got) {
            EXPECT_DOUBLE_EQ(*got, *c.expected) << '"' << c.text << '"';
        }
    }
}

TEST(DateTime, ReadsCompactText) {
    const auto t = util::readCompactDateTime("261210120000");
    ASSERT_TRUE(t);
    EXPECT_DOUBLE_EQ(*t, 46366.5);
    EXPECT_EQ(util::formatDateTime("yymmddhhnnss", *util::readCompactDateTime("000229235959")),
              "000229235959");
    for (const char* bad :
         {"", "26121012000", "2612101200000", "26121012000x", "261310120000", "260230120000",
          "261210240000", "261210126000", "-61210120000", "2612 1012000"}) {
        EXPECT_FALSE(util::readCompactDateTime(bad)) << bad;
    }
}

TEST(DateTime, NowIsLocalWallClock) {
    const char* saved = std::getenv("TZ");
    const std::string oldTz = saved ? saved : "";
    // Eight hours east of UTC with no daylight saving; needs no zone database.
    setenv("TZ", "CST-8", 1);
    tzset();
    const auto utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    const DateTime expected = util::encodeDateTime(1970, 1, 1, 8, 0, 0) + utcMs / 86'400'000.0;
    const DateTime got = util::nowLocal();
    if (saved) {
        setenv("TZ", oldTz.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    EXPECT_NEAR(got, expected, 2.0 / 86400);
}

} // namespace
