#include "vorelcore_contracts/time.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace {

using vorelcore_contracts::time::Timestamp;
using vorelcore_error::CoreError;

// Unix seconds of -9999-01-01T00:00:00Z and 9999-12-31T23:59:59Z.
constexpr std::int64_t kMinSeconds = -377'705'116'800;
constexpr std::int64_t kMaxSeconds = 253'402'300'799;

Timestamp at(std::string_view text) {
    const auto parsed = Timestamp::parse(text);
    EXPECT_TRUE(parsed.has_value()) << text << ": " << parsed.error();
    return parsed.value_or(Timestamp());
}

TEST(Timestamp, AgreesWithTheSystemDateTool) {
    // Each pair was produced by `date -u -d @SECONDS +%Y-%m-%dT%H:%M:%SZ`.
    struct Case {
        std::int64_t seconds;
        std::string_view text;
    };
    const Case cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {-1, "1969-12-31T23:59:59Z"},
        {1234567890, "2009-02-13T23:31:30Z"},
        {951782400, "2000-02-29T00:00:00Z"},
        {951868799, "2000-02-29T23:59:59Z"},
        {1709164800, "2024-02-29T00:00:00Z"},
        {1709251199, "2024-02-29T23:59:59Z"},
        {4107542399, "2100-02-28T23:59:59Z"},
        {4107542400, "2100-03-01T00:00:00Z"},
        {-2208988800, "1900-01-01T00:00:00Z"},
        {-11670998400, "1600-02-29T00:00:00Z"},
        {-11670912001, "1600-02-29T23:59:59Z"},
        {-12219292800, "1582-10-15T00:00:00Z"},
        {-30610224000, "1000-01-01T00:00:00Z"},
        {-62135596800, "0001-01-01T00:00:00Z"},
        {-62162035201, "0000-02-29T23:59:59Z"},
        {-62162035200, "0000-03-01T00:00:00Z"},
        {-62167219200, "0000-01-01T00:00:00Z"},
        {68023180800, "4125-07-27T08:00:00Z"},
        {253402214400, "9999-12-31T00:00:00Z"},
        {253402300799, "9999-12-31T23:59:59Z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto written = Timestamp::from_unix(c.seconds, 0);
        ASSERT_TRUE(written.has_value());
        EXPECT_EQ(written->to_rfc3339(), c.text);
        EXPECT_EQ(at(c.text).unix_seconds(), c.seconds);
    }
}

TEST(Timestamp, DaysFromYearZeroToYear9999FollowTheCalendar) {
    // Steps through the calendar one day at a time with the leap-year rule
    // and checks that writer and reader agree with it at midnight and just
    // before the next one: every day of the first full 400-year cycle, of
    // the years around the epoch and of the last year, and a spread of days
    // in between.
    int year = 0;
    int month = 1;
    int day = 1;
    std::int64_t seconds = -62'167'219'200;  // 0000-01-01T00:00:00Z
    const auto month_length = [](int y, int m) {
        if (m == 2) return (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0)) ? 29 : 28;
        return (m == 4 || m == 6 || m == 9 || m == 11) ? 30 : 31;
    };
    int failures = 0;
    for (std::int64_t day_number = 0; year <= 9999 && failures < 5; ++day_number) {
        const bool checked = year <= 400 || year == 1969 || year == 1970 || year == 9999 || day_number % 53 == 0;
        if (checked) {
            char date[48];
            std::snprintf(date, sizeof date, "%04d-%02d-%02d", year, month, day);
            const std::string midnight_text = std::string(date) + "T00:00:00Z";
            const std::string last_text = std::string(date) + "T23:59:59Z";
            const auto midnight = Timestamp::from_unix(seconds, 0);
            const auto last = Timestamp::from_unix(seconds + 86'399, 0);
            const auto parsed = Timestamp::parse(midnight_text);
            if (!midnight || !last || midnight->to_rfc3339() != midnight_text || last->to_rfc3339() != last_text ||
                !parsed || *parsed != *midnight) {
                ADD_FAILURE() << "day " << date << " at " << seconds;
                ++failures;
            }
        }
        seconds += 86'400;
        if (++day > month_length(year, month)) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    }
    EXPECT_EQ(seconds, kMaxSeconds + 1);
}

TEST(Timestamp, ReadsRfc3339AndConvertsToUtc) {
    struct Case {
        std::string_view text;
        std::int64_t seconds;
        std::uint32_t nanos;
        std::string_view written;
    };
    const Case cases[] = {
        {"1970-01-01T00:00:00Z", 0, 0, "1970-01-01T00:00:00Z"},
        {"2024-06-01t12:30:45z", 1717245045, 0, "2024-06-01T12:30:45Z"},
        {"2024-06-01T14:30:45+02:00", 1717245045, 0, "2024-06-01T12:30:45Z"},
        {"2024-06-01T07:00:45-05:30", 1717245045, 0, "2024-06-01T12:30:45Z"},
        {"2024-06-01T12:30:45-00:00", 1717245045, 0, "2024-06-01T12:30:45Z"},
        {"2024-03-01T01:00:00+02:00", 1709247600, 0, "2024-02-29T23:00:00Z"},
        {"1970-01-01T00:00:00.5Z", 0, 500'000'000, "1970-01-01T00:00:00.5Z"},
        {"1970-01-01T00:00:00.000000123Z", 0, 123, "1970-01-01T00:00:00.000000123Z"},
        {"1970-01-01T00:00:00.120Z", 0, 120'000'000, "1970-01-01T00:00:00.12Z"},
        {"1970-01-01T00:00:00.000000000Z", 0, 0, "1970-01-01T00:00:00Z"},
        {"1969-12-31T23:59:59.999999999Z", -1, 999'999'999, "1969-12-31T23:59:59.999999999Z"},
        {"2024-02-29T10:00:00Z", 1709200800, 0, "2024-02-29T10:00:00Z"},
        // The fraction survives the offset.
        {"0000-01-01T00:30:00.25+01:00", -62167221000, 250'000'000, "-62167221000"},
        {"9999-12-31T23:59:59.999999999Z", kMaxSeconds, 999'999'999, "9999-12-31T23:59:59.999999999Z"},
        {"9999-12-31T23:59:59.999999999+23:59", kMaxSeconds - 86'340, 999'999'999,
         "9999-12-31T00:00:59.999999999Z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Timestamp t = at(c.text);
        EXPECT_EQ(t.unix_seconds(), c.seconds);
        EXPECT_EQ(t.subsec_nanos(), c.nanos);
        EXPECT_EQ(t.to_rfc3339(), c.written);
        EXPECT_EQ(t.to_string(), c.written);
    }
}

TEST(Timestamp, RefusesTextThatIsNotAnRfc3339InstantInRange) {
    constexpr std::string_view kInvalid = "input contains invalid characters";
    constexpr std::string_view kPremature = "premature end of input";
    constexpr std::string_view kTrailing = "trailing input";
    constexpr std::string_view kRange = "input is out of range";
    constexpr std::string_view kImpossible = "no possible date and time matching input";
    struct Case {
        std::string_view text;
        std::string_view reason;
    };
    const Case cases[] = {
        {"", kPremature},
        {"2024-06-01", kPremature},
        {"2024-06-01T12:30:45", kPremature},
        {"2024-06-01T12:30:45.", kPremature},
        {"2024-06-01T12:30:45+02", kPremature},
        {"2024-06-01T12:30:45Z ", kTrailing},
        {"2024-06-01T12:30:45+02:00Z", kTrailing},
        {"yesterday", kInvalid},
        {"2024-06-01 12:30:45Z", kInvalid},
        {"24-06-01T12:30:45Z", kInvalid},
        {"+2024-06-01T12:30:45Z", kInvalid},
        {"2024-6-01T12:30:45Z", kInvalid},
        {"2024-06-01T12:30Z", kInvalid},
        {"2024-06-01T12:30:45.Z", kInvalid},
        {"2024-06-01T12:30:45.1234567891Z", kInvalid},
        {"2024-06-01T12:30:45+0200", kInvalid},
        {"2024-06-01T12:30:45UTC", kInvalid},
        {"2024-06-01T12:30:45\xc3\xa9", kInvalid},
        {"2024-00-10T00:00:00Z", kRange},
        {"2024-13-10T00:00:00Z", kRange},
        {"2024-01-00T00:00:00Z", kRange},
        {"2024-01-32T00:00:00Z", kRange},
        {"2024-01-01T24:00:00Z", kRange},
        {"2024-01-01T00:60:00Z", kRange},
        {"2016-12-31T23:59:60Z", kRange},
        {"2024-01-01T00:00:00+24:00", kRange},
        {"2024-01-01T00:00:00+01:60", kRange},
        {"9999-12-31T23:59:59-00:01", kRange},
        {"9999-12-31T23:00:00-01:00", kRange},
        {"2023-02-29T00:00:00Z", kImpossible},
        {"1900-02-29T00:00:00Z", kImpossible},
        {"2024-02-30T00:00:00Z", kImpossible},
        {"2024-04-31T00:00:00Z", kImpossible},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = Timestamp::parse(c.text);
        ASSERT_FALSE(parsed.has_value()) << parsed->to_rfc3339();
        EXPECT_EQ(parsed.error().kind(), CoreError::Kind::Validation);
        EXPECT_EQ(parsed.error().first(),
                  "invalid RFC 3339 timestamp \"" + std::string(c.text) + "\": " + std::string(c.reason));
    }
}

TEST(Timestamp, ParseErrorQuotesTheTextWithEscapes) {
    const auto parsed = Timestamp::parse("next \"tuesday\"\n");
    ASSERT_FALSE(parsed.has_value());
    EXPECT_EQ(parsed.error().message(),
              "validation failed: invalid RFC 3339 timestamp \"next \\\"tuesday\\\"\\n\": "
              "input contains invalid characters");
}

TEST(Timestamp, RangeLimits) {
    EXPECT_EQ(Timestamp::max().to_rfc3339(), "9999-12-31T23:59:59.999999999Z");
    EXPECT_EQ(Timestamp::max().unix_seconds(), kMaxSeconds);
    EXPECT_EQ(Timestamp::min().unix_seconds(), kMinSeconds);
    EXPECT_EQ(Timestamp::min().subsec_nanos(), 0u);
    EXPECT_EQ(Timestamp::min().to_rfc3339(), "-377705116800");
    EXPECT_EQ(Timestamp().to_rfc3339(), "1970-01-01T00:00:00Z");

    EXPECT_EQ(Timestamp::from_unix(kMinSeconds, 0), Timestamp::min());
    EXPECT_EQ(Timestamp::from_unix(kMaxSeconds, 999'999'999), Timestamp::max());
    EXPECT_FALSE(Timestamp::from_unix(kMinSeconds - 1, 999'999'999).has_value());
    EXPECT_FALSE(Timestamp::from_unix(kMaxSeconds + 1, 0).has_value());
    EXPECT_FALSE(Timestamp::from_unix(0, 1'000'000'000).has_value());
    EXPECT_FALSE(Timestamp::from_unix(std::numeric_limits<std::int64_t>::min(), 0).has_value());
}

TEST(Timestamp, SaturatingAddClampsToTheRangeLimits) {
    constexpr auto kMaxDelta = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMinDelta = std::numeric_limits<std::int64_t>::min();
    struct Case {
        Timestamp start;
        std::int64_t delta;
        Timestamp expected;
    };
    const Case cases[] = {
        {Timestamp(), kMaxDelta, Timestamp::max()},
        {Timestamp::min(), kMaxDelta, Timestamp::max()},
        {Timestamp::max(), kMaxDelta, Timestamp::max()},
        {Timestamp(), kMinDelta, Timestamp::min()},
        {Timestamp::max(), kMinDelta, Timestamp::min()},
        {Timestamp::min(), kMinDelta, Timestamp::min()},
        {Timestamp::max(), 0, Timestamp::max()},
        {Timestamp::max(), -1, at("9999-12-31T23:59:58.999999999Z")},
        {at("2024-02-28T12:00:00.5Z"), 86'400, at("2024-02-29T12:00:00.5Z")},
        {Timestamp(), -1, at("1969-12-31T23:59:59Z")},
        // Landing exactly on the last whole second keeps the fraction.
        {at("9999-12-31T23:59:49.25Z"), 10, at("9999-12-31T23:59:59.25Z")},
        {at("9999-12-31T23:59:49.25Z"), 11, Timestamp::max()},
        {Timestamp::from_unix(kMinSeconds + 10, 5).value(), -10, Timestamp::from_unix(kMinSeconds, 5).value()},
        {Timestamp::from_unix(kMinSeconds + 10, 5).value(), -11, Timestamp::min()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start.to_rfc3339() + " + " + std::to_string(c.delta));
        EXPECT_EQ(c.start.saturating_add_seconds(c.delta), c.expected);
    }
    EXPECT_EQ(at("2024-01-01T00:00:00Z").saturating_add_seconds(kMaxDelta).to_rfc3339(),
              "9999-12-31T23:59:59.999999999Z");
    EXPECT_EQ(at("2024-01-01T00:00:00Z").saturating_add_seconds(kMinDelta).to_rfc3339(), "-377705116800");
}

TEST(Timestamp, OrderFollowsTheInstant) {
    const Timestamp utc = at("2024-06-01T12:00:00Z");
    const Timestamp same = at("2024-06-01T14:00:00+02:00");
    const Timestamp later = at("2024-06-01T12:00:00.000000001Z");
    const Timestamp earlier_text_later_clock = at("2024-06-01T13:00:00+02:00");

    EXPECT_EQ(utc, same);
    EXPECT_FALSE(utc.is_after(same));
    EXPECT_FALSE(same.is_after(utc));
    EXPECT_TRUE(later.is_after(utc));
    EXPECT_FALSE(utc.is_after(later));
    EXPECT_TRUE(utc.is_after(earlier_text_later_clock));
    EXPECT_LT(Timestamp::min(), earlier_text_later_clock);
    EXPECT_LT(later, Timestamp::max());
}

TEST(Timestamp, NowIsTheCurrentUtcSecondWithoutFraction) {
    const auto clock_seconds = [] {
        return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    };
    const std::int64_t before = clock_seconds();
    const Timestamp now = Timestamp::now();
    const std::int64_t after = clock_seconds();
    EXPECT_EQ(now.subsec_nanos(), 0u);
    EXPECT_GE(now.unix_seconds(), before);
    EXPECT_LE(now.unix_seconds(), after);
    const std::string text = now.to_rfc3339();
    EXPECT_EQ(text.size(), 20u) << text;
    EXPECT_EQ(text.find('.'), std::string::npos) << text;
    EXPECT_EQ(text.back(), 'Z');
}

}  // namespace
