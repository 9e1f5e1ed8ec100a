#pragma once
// Typed identifiers shared by every document: random UUID identifiers, one
// distinct type per kind, and human-chosen slug identifiers.
#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "vorelcore_error/error.hpp"

namespace vorelcore_contracts::ids {

// A 128-bit UUID, stored as its 16 bytes in text order, so comparing the
// bytes compares the 128-bit values.
class Uuid {
public:
    Uuid() = default;  // the nil UUID

    // A fresh random UUID (version 4, RFC 4122 variant) from the operating
    // system's random source. Aborts the process if no random source exists.
    static Uuid random_v4();
    static Uuid from_bytes(const std::array<std::uint8_t, 16>& bytes);

    // Reads 32 hex digits, the 36-character hyphenated form, the hyphenated
    // form in braces (38) or after "urn:uuid:" (45); hex digits in either
    // case. On failure, a one-line description of the first fault.
    static std::expected<Uuid, std::string> parse(std::string_view text);

    // The 36-character lower-case hyphenated form.
    std::string to_string() const;
    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    friend auto operator<=>(const Uuid&, const Uuid&) = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

std::ostream& operator<<(std::ostream& out, const Uuid& uuid);

// One kind of UUID identifier. `Tag` only names the kind
// (`static constexpr std::string_view name`); identifiers of different
// kinds never convert into one another.
template <class Tag>
class UuidIdentifier {
public:
    static constexpr std::string_view kind = Tag::name;

    // The nil identifier; only a placeholder before a document is read.
    UuidIdentifier() = default;
    explicit UuidIdentifier(Uuid uuid) : uuid_(uuid) {}

    // A fresh random identifier.
    static UuidIdentifier generate() { return UuidIdentifier(Uuid::random_v4()); }

    // Any of the four text forms; otherwise InvalidIdentifier naming this kind.
    static std::expected<UuidIdentifier, vorelcore_error::CoreError> parse(std::string_view text) {
        auto uuid = Uuid::parse(text);
        if (!uuid) {
            return std::unexpected(vorelcore_error::CoreError::invalid_identifier(kind, std::move(uuid.error())));
        }
        return UuidIdentifier(*uuid);
    }

    std::string to_string() const { return uuid_.to_string(); }
    const Uuid& uuid() const { return uuid_; }

    friend auto operator<=>(const UuidIdentifier&, const UuidIdentifier&) = default;
    friend std::ostream& operator<<(std::ostream& out, const UuidIdentifier& id) { return out << id.uuid_; }

private:
    Uuid uuid_;
};

// Declares one UUID identifier type `Name` (with its tag `Name##Tag`) in the
// current namespace.
#define VOREL_UUID_IDENTIFIER(Name)                                 \
    struct Name##Tag {                                              \
        static constexpr std::string_view name = #Name;             \
    };                                                              \
    using Name = ::vorelcore_contracts::ids::UuidIdentifier<Name##Tag>;

VOREL_UUID_IDENTIFIER(TenantId)
VOREL_UUID_IDENTIFIER(WorkspaceId)
VOREL_UUID_IDENTIFIER(IdentityId)
VOREL_UUID_IDENTIFIER(ObjectId)
VOREL_UUID_IDENTIFIER(EnvelopeId)
VOREL_UUID_IDENTIFIER(KeyId)
VOREL_UUID_IDENTIFIER(PolicyId)
VOREL_UUID_IDENTIFIER(BackupId)
VOREL_UUID_IDENTIFIER(NodeId)
VOREL_UUID_IDENTIFIER(AuditEventId)
VOREL_UUID_IDENTIFIER(ConfigId)
VOREL_UUID_IDENTIFIER(DecisionId)
VOREL_UUID_IDENTIFIER(CapabilityId)
VOREL_UUID_IDENTIFIER(SyncId)
VOREL_UUID_IDENTIFIER(DeviceId)
VOREL_UUID_IDENTIFIER(Pseudonym)

// A short human-chosen name: 1 to 64 bytes of lower-case ASCII letters,
// digits and single inner hyphens. Never normalised.
class Slug {
public:
    static constexpr std::size_t kMaxBytes = 64;
    static constexpr std::string_view kind = "Slug";

    // Empty; only a placeholder before a document is read. Parsing never
    // produces an empty slug.
    Slug() = default;

    // Applies the rules in order; the first rule broken is the reason of an
    // InvalidIdentifier error of kind "Slug".
    static std::expected<void, vorelcore_error::CoreError> validate(std::string_view text);
    // Validates, then keeps the string exactly as given.
    static std::expected<Slug, vorelcore_error::CoreError> try_from(std::string text);
    static std::expected<Slug, vorelcore_error::CoreError> parse(std::string_view text);

    const std::string& as_str() const { return value_; }
    std::string to_string() const { return value_; }

    friend auto operator<=>(const Slug&, const Slug&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Slug& slug) { return out << slug.value_; }

private:
    explicit Slug(std::string value) : value_(std::move(value)) {}

    std::string value_;
};

// One kind of slug identifier; its text form is the slug itself.
template <class Tag>
class SlugIdentifier {
public:
    static constexpr std::string_view kind = Tag::name;

    SlugIdentifier() = default;
    explicit SlugIdentifier(Slug slug) : slug_(std::move(slug)) {}

    // Slug errors pass through unchanged (kind "Slug").
    static std::expected<SlugIdentifier, vorelcore_error::CoreError> parse(std::string_view text) {
        auto slug = Slug::parse(text);
        if (!slug) return std::unexpected(std::move(slug.error()));
        return SlugIdentifier(std::move(*slug));
    }

    const Slug& slug() const { return slug_; }
    const std::string& as_str() const { return slug_.as_str(); }
    std::string to_string() const { return slug_.to_string(); }

    friend auto operator<=>(const SlugIdentifier&, const SlugIdentifier&) = default;
    friend std::ostream& operator<<(std::ostream& out, const SlugIdentifier& id) { return out << id.slug_; }

private:
    Slug slug_;
};

struct ProductIdTag {
    static constexpr std::string_view name = "ProductId";
};
struct ServiceIdTag {
    static constexpr std::string_view name = "ServiceId";
};
struct RegionIdTag {
    static constexpr std::string_view name = "RegionId";
};
using ProductId = SlugIdentifier<ProductIdTag>;
using ServiceId = SlugIdentifier<ServiceIdTag>;
using RegionId = SlugIdentifier<RegionIdTag>;

// The product whose documents this system handles.
inline constexpr std::string_view kProductSlug = "voreldeploy";

}  // namespace vorelcore_contracts::ids

template <>
struct std::hash<vorelcore_contracts::ids::Uuid> {
    std::size_t operator()(const vorelcore_contracts::ids::Uuid& uuid) const noexcept {
        const auto& b = uuid.bytes();
        return std::hash<std::string_view>{}(
            std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
    }
};

template <class Tag>
struct std::hash<vorelcore_contracts::ids::UuidIdentifier<Tag>> {
    std::size_t operator()(const vorelcore_contracts::ids::UuidIdentifier<Tag>& id) const noexcept {
        return std::hash<vorelcore_contracts::ids::Uuid>{}(id.uuid());
    }
};

template <>
struct std::hash<vorelcore_contracts::ids::Slug> {
    std::size_t operator()(const vorelcore_contracts::ids::Slug& slug) const noexcept {
        return std::hash<std::string>{}(slug.as_str());
    }
};

template <class Tag>
struct std::hash<vorelcore_contracts::ids::SlugIdentifier<Tag>> {
    std::size_t operator()(const vorelcore_contracts::ids::SlugIdentifier<Tag>& id) const noexcept {
        return std::hash<std::string>{}(id.as_str());
    }
};
