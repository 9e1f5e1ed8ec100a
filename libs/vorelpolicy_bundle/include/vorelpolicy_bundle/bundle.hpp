#pragma once
// A policy bundle: a policy pack as a policy service publishes it. One
// ruleset with per-rule metadata, the compliance controls the pack addresses
// and example test cases, all carried in one signed envelope.
//
// Written form. The body and the records inside it are always written with
// every member present: an absent optional member as null, an empty list or
// map as [] or {}. The envelope's signature covers that written form, so a
// publisher that leaves an optional member out of its JSON still verifies
// (it reads back as the same default), while a changed value does not.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/envelope.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_policy/action.hpp"
#include "vorelcore_policy/decision.hpp"
#include "vorelcore_policy/eval.hpp"
#include "vorelcore_policy/input.hpp"
#include "vorelpolicy_contracts/controls.hpp"

namespace vorelpolicy_bundle::bundle {

VOREL_UUID_IDENTIFIER(BundleId)

// One compliance control the pack addresses.
struct ControlRef {
    std::string control_code;
    vorelpolicy_contracts::controls::ControlCategory category =
        vorelpolicy_contracts::controls::ControlCategory::Access;
    std::string title;

    friend bool operator==(const ControlRef&, const ControlRef&) = default;
};

// An example case shipped with the pack. Verification does not run it.
struct PolicyTest {
    std::string name;
    vorelcore_policy::input::PolicyInput input;
    vorelcore_policy::action::PolicyActionId action;
    vorelcore_policy::decision::Decision expected_decision = vorelcore_policy::decision::Decision::Deny;
    std::optional<std::string> expect_rule;

    friend bool operator==(const PolicyTest&, const PolicyTest&) = default;
};

// The payload of a signed bundle.
struct PolicyBundleBody {
    BundleId bundle_id;
    vorelcore_contracts::ids::TenantId tenant_id;
    std::optional<vorelcore_contracts::ids::WorkspaceId> workspace_id;
    std::string pack_name;
    vorelcore_policy::eval::PolicyRuleset ruleset;  // plain, not signed on its own
    std::map<std::string, vorelpolicy_contracts::controls::RuleMeta> rule_meta;  // ordered by key bytes
    std::vector<ControlRef> controls;
    std::vector<PolicyTest> tests;
    vorelcore_contracts::time::Timestamp created_at;
    std::string publisher;
    std::optional<std::string> previous_version;

    friend bool operator==(const PolicyBundleBody&, const PolicyBundleBody&) = default;
};

using SignedPolicyBundle = vorelcore_crypto::envelope::SignedEnvelope<PolicyBundleBody>;

namespace detail {

template <class M>
struct IsOptional : std::false_type {};
template <class M>
struct IsOptional<std::optional<M>> : std::true_type {};

// Every declared member, in declaration order, none omitted: an absent
// optional is written as null, an empty collection as [] or {}.
template <vorelcore_json::HasFields T>
vorelcore_json::Value write_every_member(const T& in) {
    vorelcore_json::Object out;
    std::apply(
        [&](const auto&... entries) {
            auto add = [&](const auto& entry) {
                using M = std::remove_cvref_t<decltype(in.*(entry.member))>;
                const M& member = in.*(entry.member);
                vorelcore_json::Value value;
                if constexpr (IsOptional<M>::value) {
                    if (member) value = vorelcore_json::Codec<typename M::value_type>::write(*member);
                } else {
                    value = vorelcore_json::Codec<M>::write(member);
                }
                vorelcore_json::push_member(out, std::string(entry.key), std::move(value));
            };
            (add(entries), ...);
        },
        vorelcore_json::Fields<T>::list);
    return vorelcore_json::Value(std::move(out));
}

// Reads like any declared struct; writes every member.
template <vorelcore_json::HasFields T>
struct EveryMemberCodec {
    static vorelcore_json::ReadResult<T> read(const vorelcore_json::Value& value) {
        return vorelcore_json::read_fields<T>(value, "struct " + std::string(vorelcore_json::Fields<T>::name));
    }
    static vorelcore_json::Value write(const T& in) { return write_every_member(in); }
};

}  // namespace detail

}  // namespace vorelpolicy_bundle::bundle

template <>
struct vorelcore_json::Fields<vorelpolicy_bundle::bundle::ControlRef> {
    using T = vorelpolicy_bundle::bundle::ControlRef;
    static constexpr std::string_view name = "ControlRef";
    static constexpr auto list = std::make_tuple(field("control_code", &T::control_code),
                                                 field("category", &T::category), field("title", &T::title));
};

template <>
struct vorelcore_json::Fields<vorelpolicy_bundle::bundle::PolicyTest> {
    using T = vorelpolicy_bundle::bundle::PolicyTest;
    static constexpr std::string_view name = "PolicyTest";
    static constexpr auto list =
        std::make_tuple(field("name", &T::name), field("input", &T::input), field("action", &T::action),
                        field("expected_decision", &T::expected_decision), field("expect_rule", &T::expect_rule));
};

template <>
struct vorelcore_json::Codec<vorelpolicy_bundle::bundle::PolicyTest>
    : vorelpolicy_bundle::bundle::detail::EveryMemberCodec<vorelpolicy_bundle::bundle::PolicyTest> {};

template <>
struct vorelcore_json::Fields<vorelpolicy_bundle::bundle::PolicyBundleBody> {
    using T = vorelpolicy_bundle::bundle::PolicyBundleBody;
    static constexpr std::string_view name = "PolicyBundleBody";
    static constexpr auto list = std::make_tuple(
        field("bundle_id", &T::bundle_id), field("tenant_id", &T::tenant_id), field("workspace_id", &T::workspace_id),
        field("pack_name", &T::pack_name), field("ruleset", &T::ruleset), field_default("rule_meta", &T::rule_meta),
        field("controls", &T::controls), field_default("tests", &T::tests), field("created_at", &T::created_at),
        field("publisher", &T::publisher), field("previous_version", &T::previous_version));
};

template <>
struct vorelcore_json::Codec<vorelpolicy_bundle::bundle::PolicyBundleBody>
    : vorelpolicy_bundle::bundle::detail::EveryMemberCodec<vorelpolicy_bundle::bundle::PolicyBundleBody> {};
