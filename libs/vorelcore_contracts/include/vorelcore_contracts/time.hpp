#pragma once
// Instants, written as RFC 3339 text in UTC.
#include <compare>
#include <cstdint>
#include <expected>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "vorelcore_error/error.hpp"

namespace vorelcore_contracts::time {

// An instant with nanosecond resolution, always in UTC: whole seconds since
// the Unix epoch plus the sub-second part (0..999'999'999). Every value lies
// between min() (-9999-01-01T00:00:00Z) and max() (9999-12-31T23:59:59.999999999Z).
// Ordered by the instant it denotes.
class Timestamp {
public:
    static constexpr std::uint32_t kNanosPerSecond = 1'000'000'000;

    Timestamp() = default;  // the Unix epoch

    // The current time, truncated to whole seconds.
    static Timestamp now();
    // Empty when the instant lies outside the range or `nanos` is not below
    // one second.
    static std::optional<Timestamp> from_unix(std::int64_t seconds, std::uint32_t nanos);
    static Timestamp min();
    static Timestamp max();

    // Reads an RFC 3339 date-time (`T`/`t`, fraction of 1 to 9 digits,
    // offset `Z`/`z` or +HH:MM/-HH:MM) and converts it to UTC. Failures are
    // CoreError::validation("invalid RFC 3339 timestamp \"...\": reason").
    static std::expected<Timestamp, vorelcore_error::CoreError> parse(std::string_view text);

    // YYYY-MM-DDTHH:MM:SS[.fraction]Z, the fraction only when non-zero and
    // without trailing zeros. Instants before year 0000 cannot be written so
    // and are written as whole Unix seconds in decimal instead.
    std::string to_rfc3339() const;
    std::string to_string() const { return to_rfc3339(); }

    // Adds seconds, clamping to min() or max() when the result would leave
    // the range.
    Timestamp saturating_add_seconds(std::int64_t seconds) const;
    // True only when this instant is strictly later than `other`.
    bool is_after(const Timestamp& other) const { return *this > other; }

    std::int64_t unix_seconds() const { return seconds_; }
    std::uint32_t subsec_nanos() const { return nanos_; }

    friend auto operator<=>(const Timestamp&, const Timestamp&) = default;

private:
    Timestamp(std::int64_t seconds, std::uint32_t nanos) : seconds_(seconds), nanos_(nanos) {}

    std::int64_t seconds_ = 0;
    std::uint32_t nanos_ = 0;
};

std::ostream& operator<<(std::ostream& out, const Timestamp& timestamp);

}  // namespace vorelcore_contracts::time
