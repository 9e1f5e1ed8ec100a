// The bundle body as a document: what reads, what is refused, and the
// always-complete written form the signature covers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fixtures.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_json/parse.hpp"
#include "vorelcore_json/write.hpp"
#include "vorelpolicy_bundle/bundle.hpp"

namespace vorelpolicy_bundle::bundle {
namespace {

using testing::body_from;
using testing::kFullBody;
using vorelcore_json::Object;
using vorelcore_json::Value;
using vorelpolicy_contracts::controls::ControlCategory;

// kFullBody with its top-level object changed by `change`.
std::string edited(const std::function<void(Object&)>& change) {
    auto value = vorelcore_json::parse(kFullBody);
    EXPECT_TRUE(value);
    change(*value->as_object());
    return vorelcore_json::write_pretty(*value);
}

void drop_member(Object& object, const std::string& key) {
    std::erase_if(object, [&](const vorelcore_json::Member& m) { return m.key == key; });
}

Value& member(Object& object, const std::string& key) {
    for (auto& m : object) {
        if (m.key == key) return m.value;
    }
    throw std::runtime_error("no member " + key);
}

TEST(PolicyBundleBody, ReadsEveryMember) {
    const PolicyBundleBody body = body_from(kFullBody);
    EXPECT_EQ(body.bundle_id.to_string(), "3c1d5e7f-9a2b-4c4d-8e6f-0a1b2c3d4e5f");
    ASSERT_TRUE(body.workspace_id);
    EXPECT_EQ(body.workspace_id->to_string(), "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43");
    EXPECT_EQ(body.pack_name, "deploy-baseline");
    EXPECT_EQ(body.ruleset.version, 4U);
    ASSERT_EQ(body.rule_meta.size(), 1U);
    EXPECT_EQ(body.rule_meta.at("ticket").remediation, "open one");
    ASSERT_EQ(body.controls.size(), 1U);
    EXPECT_EQ(body.controls[0].category, ControlCategory::Deployment);
    ASSERT_EQ(body.tests.size(), 1U);
    EXPECT_EQ(body.tests[0].action.to_string(), "voreldeploy:deployment.promote");
    EXPECT_EQ(body.tests[0].expected_decision, vorelcore_policy::decision::Decision::Allow);
    EXPECT_EQ(body.tests[0].expect_rule, "ticket");
    EXPECT_EQ(body.tests[0].input.facts.at("change_ticket"), "CHG-1");
    EXPECT_EQ(body.created_at.to_string(), "2026-12-01T09:00:00Z");
    EXPECT_EQ(body.publisher, "policy-team");
    EXPECT_EQ(body.previous_version, "2026.11");
}

TEST(PolicyBundleBody, OptionalMembersReadAsEmptyOrNullWhetherMissingOrNull) {
    const std::string missing = edited([](Object& o) {
        for (const char* key : {"tests", "rule_meta", "workspace_id", "previous_version"}) drop_member(o, key);
    });
    const std::string nulls = edited([](Object& o) {
        member(o, "workspace_id") = Value();
        member(o, "previous_version") = Value();
        Object& test = *member(o, "tests").as_array()->front().as_object();
        member(test, "expect_rule") = Value();
    });
    const PolicyBundleBody without = body_from(missing);
    EXPECT_FALSE(without.workspace_id);
    EXPECT_FALSE(without.previous_version);
    EXPECT_TRUE(without.tests.empty());
    EXPECT_TRUE(without.rule_meta.empty());

    const PolicyBundleBody with_nulls = body_from(nulls);
    EXPECT_FALSE(with_nulls.workspace_id);
    EXPECT_FALSE(with_nulls.previous_version);
    ASSERT_EQ(with_nulls.tests.size(), 1U);
    EXPECT_FALSE(with_nulls.tests[0].expect_rule);
}

TEST(PolicyBundleBody, IsWrittenWithEveryMemberPresent) {
    PolicyBundleBody body = body_from(kFullBody);
    body.workspace_id.reset();
    body.previous_version.reset();
    body.rule_meta.clear();
    body.tests.clear();
    const Value written = vorelcore_json::to_value(body);
    const Object& object = *written.as_object();
    std::vector<std::string> keys;
    for (const auto& m : object) keys.push_back(m.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"bundle_id", "tenant_id", "workspace_id", "pack_name", "ruleset",
                                              "rule_meta", "controls", "tests", "created_at", "publisher",
                                              "previous_version"}));
    Object copy = object;
    EXPECT_TRUE(member(copy, "workspace_id").is_null());
    EXPECT_TRUE(member(copy, "previous_version").is_null());
    EXPECT_EQ(member(copy, "rule_meta"), Value(Object{}));
    EXPECT_EQ(member(copy, "tests"), Value(vorelcore_json::Array{}));

    // Inside a test, an absent expect_rule is null and the input is complete.
    PolicyTest test = body_from(kFullBody).tests.front();
    test.expect_rule.reset();
    test.input.facts.clear();
    EXPECT_NE(vorelcore_json::to_pretty(test).find("\"expect_rule\": null"), std::string::npos);
    EXPECT_NE(vorelcore_json::to_pretty(test).find("\"facts\": {}"), std::string::npos);
}

TEST(PolicyBundleBody, WrittenFormReadsBackUnchanged) {
    const PolicyBundleBody full = body_from(kFullBody);
    PolicyBundleBody sparse = full;
    sparse.workspace_id.reset();
    sparse.previous_version.reset();
    sparse.tests.front().expect_rule.reset();
    for (const PolicyBundleBody& body : {full, sparse}) {
        EXPECT_EQ(body_from(vorelcore_json::to_pretty(body)), body);
    }
}

TEST(PolicyBundleBody, ReadErrorsNameTheMember) {
    struct Case {
        const char* name;
        std::function<void(Object&)> change;
        std::string message_start;
    };
    const auto first_of = [](Object& o, const char* list) -> Object& {
        return *member(o, list).as_array()->front().as_object();
    };
    std::vector<Case> cases;
    for (const char* key : {"bundle_id", "tenant_id", "pack_name", "ruleset", "controls", "created_at", "publisher"}) {
        cases.push_back({key, [key](Object& o) { drop_member(o, key); }, std::string("missing field `") + key + "`"});
    }
    for (const char* key : {"control_code", "category", "title"}) {
        cases.push_back({key, [&, key](Object& o) { drop_member(first_of(o, "controls"), key); },
                         std::string("missing field `") + key + "`"});
    }
    for (const char* key : {"name", "input", "action", "expected_decision"}) {
        cases.push_back({key, [&, key](Object& o) { drop_member(first_of(o, "tests"), key); },
                         std::string("missing field `") + key + "`"});
    }
    cases.push_back({"rule meta without control_id",
                     [](Object& o) { drop_member(*member(*member(o, "rule_meta").as_object(), "ticket").as_object(), "control_id"); },
                     "missing field `control_id`"});
    cases.push_back({"repeated member",
                     [](Object& o) { vorelcore_json::push_member(o, "publisher", Value("again")); },
                     "duplicate field `publisher`"});
    cases.push_back({"unknown category",
                     [&](Object& o) { member(first_of(o, "controls"), "category") = Value("firewall"); },
                     "unknown variant `firewall`, expected one of `access`, "});
    cases.push_back({"unknown decision",
                     [&](Object& o) { member(first_of(o, "tests"), "expected_decision") = Value("maybe"); },
                     "unknown variant `maybe`"});
    cases.push_back({"bad bundle id", [](Object& o) { member(o, "bundle_id") = Value("not-a-uuid"); },
                     "invalid BundleId identifier: "});
    cases.push_back({"tests null", [](Object& o) { member(o, "tests") = Value(); },
                     "invalid type: null, expected a sequence"});
    for (const Case& c : cases) {
        auto read = vorelcore_json::from_text<PolicyBundleBody>(edited(c.change));
        ASSERT_FALSE(read) << c.name;
        EXPECT_TRUE(read.error().starts_with(c.message_start)) << c.name << "\n  got: " << read.error();
        EXPECT_NE(read.error().find(" at line "), std::string::npos) << c.name;
    }
}

}  // namespace
}  // namespace vorelpolicy_bundle::bundle
