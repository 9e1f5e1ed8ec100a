#include "vorelcore_contracts/time.hpp"

#include <chrono>

#include "vorelcore_error/text.hpp"

namespace vorelcore_contracts::time {
namespace {

using vorelcore_error::CoreError;

constexpr std::int64_t kSecondsPerDay = 86'400;

// Proleptic Gregorian calendar <-> days since 1970-01-01. Years are shifted
// to start in March so the leap day is the last day of its year; whole
// 400-year eras (146'097 days) are split off first so the arithmetic inside
// an era works on small non-negative numbers.
constexpr std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto year_of_era = static_cast<unsigned>(year - era * 400);                       // 0..399
    const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;  // 0..365
    const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146'097 + static_cast<std::int64_t>(day_of_era) - 719'468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

constexpr Civil civil_from_days(std::int64_t days) {
    days += 719'468;
    const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
    const auto day_of_era = static_cast<unsigned>(days - era * 146'097);  // 0..146096
    const unsigned year_of_era =
        (day_of_era - day_of_era / 1'460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;  // 0..399
    const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const unsigned shifted_month = (5 * day_of_year + 2) / 153;  // 0 = March
    const unsigned day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
    const unsigned month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
    return {static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

constexpr bool is_leap_year(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr unsigned days_in_month(std::int64_t year, unsigned month) {
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

constexpr std::int64_t kMinSeconds = days_from_civil(-9999, 1, 1) * kSecondsPerDay;
constexpr std::int64_t kMaxSeconds = days_from_civil(9999, 12, 31) * kSecondsPerDay + kSecondsPerDay - 1;
// The first instant that can be written with a four-digit year.
constexpr std::int64_t kYearZeroSeconds = days_from_civil(0, 1, 1) * kSecondsPerDay;

static_assert(days_from_civil(1970, 1, 1) == 0);
static_assert(civil_from_days(-1).year == 1969 && civil_from_days(-1).month == 12 && civil_from_days(-1).day == 31);

// How a date-time text fails to be read.
enum class Fault {
    InvalidCharacters,
    PrematureEnd,
    TrailingInput,
    OutOfRange,
    Impossible,
};

std::string_view describe(Fault fault) {
    switch (fault) {
    case Fault::InvalidCharacters: return "input contains invalid characters";
    case Fault::PrematureEnd: return "premature end of input";
    case Fault::TrailingInput: return "trailing input";
    case Fault::OutOfRange: return "input is out of range";
    case Fault::Impossible: return "no possible date and time matching input";
    }
    return {};
}

// Reads the text left to right; the first fault met is the one reported.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool at_end() const { return pos_ == text_.size(); }
    bool next_is_digit() const { return !at_end() && is_digit(text_[pos_]); }

    // Consumes one character out of `accepted`, returning it.
    std::expected<char, Fault> one_of(std::string_view accepted) {
        if (at_end()) return std::unexpected(Fault::PrematureEnd);
        const char c = text_[pos_];
        if (accepted.find(c) == std::string_view::npos) return std::unexpected(Fault::InvalidCharacters);
        ++pos_;
        return c;
    }

    // Consumes exactly `count` decimal digits.
    std::expected<unsigned, Fault> digits(unsigned count) {
        unsigned value = 0;
        for (unsigned i = 0; i < count; ++i) {
            if (at_end()) return std::unexpected(Fault::PrematureEnd);
            if (!next_is_digit()) return std::unexpected(Fault::InvalidCharacters);
            value = value * 10 + static_cast<unsigned>(text_[pos_++] - '0');
        }
        return value;
    }

    // Consumes 1 to 9 digits after the decimal point and returns nanoseconds.
    std::expected<std::uint32_t, Fault> fraction() {
        auto first = digits(1);
        if (!first) return std::unexpected(first.error());
        std::uint32_t value = *first;
        unsigned count = 1;
        while (count < 9 && next_is_digit()) {
            value = value * 10 + static_cast<std::uint32_t>(text_[pos_++] - '0');
            ++count;
        }
        if (next_is_digit()) return std::unexpected(Fault::InvalidCharacters);
        for (; count < 9; ++count) value *= 10;
        return value;
    }

private:
    static bool is_digit(char c) { return c >= '0' && c <= '9'; }

    std::string_view text_;
    std::size_t pos_ = 0;
};

struct Fields {
    unsigned year = 0, month = 0, day = 0;
    unsigned hour = 0, minute = 0, second = 0;
    std::uint32_t nanos = 0;
    int offset_sign = 1;
    unsigned offset_hour = 0, offset_minute = 0;
};

#define VOREL_READ(target, expr)                          \
    do {                                                  \
        auto read_ = (expr);                              \
        if (!read_) return std::unexpected(read_.error()); \
        target = *read_;                                  \
    } while (false)

#define VOREL_EXPECT(accepted)                                 \
    do {                                                       \
        if (auto read_ = reader.one_of(accepted); !read_) {    \
            return std::unexpected(read_.error());             \
        }                                                      \
    } while (false)

// The syntax: full-date "T" full-time, nothing after it.
std::expected<Fields, Fault> read_fields(std::string_view text) {
    Reader reader(text);
    Fields f;
    VOREL_READ(f.year, reader.digits(4));
    VOREL_EXPECT("-");
    VOREL_READ(f.month, reader.digits(2));
    VOREL_EXPECT("-");
    VOREL_READ(f.day, reader.digits(2));
    VOREL_EXPECT("Tt");
    VOREL_READ(f.hour, reader.digits(2));
    VOREL_EXPECT(":");
    VOREL_READ(f.minute, reader.digits(2));
    VOREL_EXPECT(":");
    VOREL_READ(f.second, reader.digits(2));
    char offset = 0;
    VOREL_READ(offset, reader.one_of(".Zz+-"));
    if (offset == '.') {
        VOREL_READ(f.nanos, reader.fraction());
        VOREL_READ(offset, reader.one_of("Zz+-"));
    }
    if (offset == '+' || offset == '-') {
        f.offset_sign = offset == '-' ? -1 : 1;
        VOREL_READ(f.offset_hour, reader.digits(2));
        VOREL_EXPECT(":");
        VOREL_READ(f.offset_minute, reader.digits(2));
    }
    if (!reader.at_end()) return std::unexpected(Fault::TrailingInput);
    return f;
}

#undef VOREL_EXPECT
#undef VOREL_READ

// The instant the fields denote, in seconds since the epoch (UTC).
std::expected<std::int64_t, Fault> utc_seconds(const Fields& f) {
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour > 23 || f.minute > 59 || f.second > 59 ||
        f.offset_hour > 23 || f.offset_minute > 59) {
        return std::unexpected(Fault::OutOfRange);
    }
    if (f.day > days_in_month(f.year, f.month)) return std::unexpected(Fault::Impossible);
    const std::int64_t local = days_from_civil(f.year, f.month, f.day) * kSecondsPerDay + f.hour * 3'600 +
                               f.minute * 60 + f.second;
    const std::int64_t utc = local - f.offset_sign * static_cast<std::int64_t>(f.offset_hour * 3'600 + f.offset_minute * 60);
    if (utc < kMinSeconds || utc > kMaxSeconds) return std::unexpected(Fault::OutOfRange);
    return utc;
}

void append_digits(std::string& out, std::uint64_t value, int width) {
    char buf[20];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || n < width);
    while (n > 0) out.push_back(buf[--n]);
}

}  // namespace

Timestamp Timestamp::now() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    std::int64_t seconds = std::chrono::floor<std::chrono::seconds>(since_epoch).count();
    if (seconds < kMinSeconds) seconds = kMinSeconds;
    if (seconds > kMaxSeconds) seconds = kMaxSeconds;
    return Timestamp(seconds, 0);
}

std::optional<Timestamp> Timestamp::from_unix(std::int64_t seconds, std::uint32_t nanos) {
    if (seconds < kMinSeconds || seconds > kMaxSeconds || nanos >= kNanosPerSecond) return std::nullopt;
    return Timestamp(seconds, nanos);
}

Timestamp Timestamp::min() { return Timestamp(kMinSeconds, 0); }

Timestamp Timestamp::max() { return Timestamp(kMaxSeconds, kNanosPerSecond - 1); }

std::expected<Timestamp, CoreError> Timestamp::parse(std::string_view text) {
    const auto fail = [text](Fault fault) {
        return std::unexpected(CoreError::validation("invalid RFC 3339 timestamp " +
                                                     vorelcore_error::debug_quoted(text) + ": " +
                                                     std::string(describe(fault))));
    };
    const auto fields = read_fields(text);
    if (!fields) return fail(fields.error());
    const auto seconds = utc_seconds(*fields);
    if (!seconds) return fail(seconds.error());
    return Timestamp(*seconds, fields->nanos);
}

std::string Timestamp::to_rfc3339() const {
    if (seconds_ < kYearZeroSeconds) return std::to_string(seconds_);
    // Floor division: instants before the epoch belong to the earlier day.
    std::int64_t days = seconds_ / kSecondsPerDay;
    std::int64_t second_of_day = seconds_ % kSecondsPerDay;
    if (second_of_day < 0) {
        second_of_day += kSecondsPerDay;
        --days;
    }
    const Civil date = civil_from_days(days);

    std::string out;
    out.reserve(30);
    append_digits(out, static_cast<std::uint64_t>(date.year), 4);
    out.push_back('-');
    append_digits(out, date.month, 2);
    out.push_back('-');
    append_digits(out, date.day, 2);
    out.push_back('T');
    append_digits(out, static_cast<std::uint64_t>(second_of_day / 3'600), 2);
    out.push_back(':');
    append_digits(out, static_cast<std::uint64_t>(second_of_day / 60 % 60), 2);
    out.push_back(':');
    append_digits(out, static_cast<std::uint64_t>(second_of_day % 60), 2);
    if (nanos_ != 0) {
        std::uint32_t fraction = nanos_;
        int width = 9;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --width;
        }
        out.push_back('.');
        append_digits(out, fraction, width);
    }
    out.push_back('Z');
    return out;
}

Timestamp Timestamp::saturating_add_seconds(std::int64_t seconds) const {
    // Both differences stay far inside the 64-bit range, so neither the
    // comparisons nor the final sum can overflow.
    if (seconds > kMaxSeconds - seconds_) return max();
    if (seconds < kMinSeconds - seconds_) return min();
    return Timestamp(seconds_ + seconds, nanos_);
}

std::ostream& operator<<(std::ostream& out, const Timestamp& timestamp) { return out << timestamp.to_rfc3339(); }

}  // namespace vorelcore_contracts::time
