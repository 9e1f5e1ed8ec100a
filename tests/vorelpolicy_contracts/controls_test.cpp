#include <gtest/gtest.h>

#include <cstddef>
#include <sstream>
#include <string>

#include "vorelcore_json/codec.hpp"
#include "vorelpolicy_contracts/controls.hpp"

namespace vorelpolicy_contracts::controls {
namespace {

using vorelcore_json::from_text;
using vorelcore_json::to_pretty;

TEST(ControlCategory, ReadsExactlyTheFifteenSpellingsInDeclarationOrder) {
    const char* spellings[] = {"access",          "authentication", "device_posture",    "encryption",
                               "retention",       "backup",         "monitoring",        "patch_management",
                               "update_management", "network_exposure", "federation",     "audit",
                               "privacy",         "deployment",     "incident_response"};
    for (std::size_t i = 0; i < std::size(spellings); ++i) {
        const std::string json = std::string("\"") + spellings[i] + "\"";
        auto read = from_text<ControlCategory>(json);
        ASSERT_TRUE(read) << json << ": " << read.error();
        EXPECT_EQ(static_cast<std::size_t>(*read), i) << json;
        EXPECT_EQ(to_pretty(*read), json);
    }
}

TEST(ControlCategory, RefusesEveryOtherSpelling) {
    const std::string expected =
        "unknown variant `{}`, expected one of `access`, `authentication`, `device_posture`, `encryption`, "
        "`retention`, `backup`, `monitoring`, `patch_management`, `update_management`, `network_exposure`, "
        "`federation`, `audit`, `privacy`, `deployment`, `incident_response` at line 1 column {}";
    for (const std::string bad : {"Access", "device-posture", "", "firewall"}) {
        auto read = from_text<ControlCategory>("\"" + bad + "\"");
        ASSERT_FALSE(read) << bad;
        std::string message = expected;
        message.replace(message.find("{}"), 2, bad);
        message.replace(message.find("{}"), 2, std::to_string(bad.size() + 2));
        EXPECT_EQ(read.error(), message);
    }
    auto number = from_text<ControlCategory>("3");
    ASSERT_FALSE(number);
    EXPECT_EQ(number.error(), "invalid type: integer `3`, expected enum ControlCategory at line 1 column 1");
}

TEST(ControlCategory, PrintsItsDisplayName) {
    std::ostringstream out;
    out << ControlCategory::DevicePosture << ' ' << ControlCategory::IncidentResponse;
    EXPECT_EQ(out.str(), "DevicePosture IncidentResponse");
}

TEST(RuleMeta, TextsDefaultToEmptyAndAreAlwaysWritten) {
    auto read = from_text<RuleMeta>(R"({"control_id": "AC-2"})");
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(*read, (RuleMeta{"AC-2", "", ""}));
    EXPECT_EQ(to_pretty(*read), "{\n  \"control_id\": \"AC-2\",\n  \"description\": \"\",\n  \"remediation\": \"\"\n}");

    auto full = from_text<RuleMeta>(R"({"remediation": "r", "description": "d", "control_id": "c", "other": 1})");
    ASSERT_TRUE(full) << full.error();
    EXPECT_EQ(*full, (RuleMeta{"c", "d", "r"}));
}

TEST(RuleMeta, ReadErrors) {
    struct Case {
        const char* json;
        const char* error;
    };
    const Case cases[] = {
        {R"({"description": "d"})", "missing field `control_id` at line 1 column 20"},
        {R"({"control_id": "a", "control_id": "b"})", "duplicate field `control_id` at line 1 column 32"},
        {R"({"control_id": null})", "invalid type: null, expected a string at line 1 column 19"},
        {R"({"control_id": "a", "description": 5})", "invalid type: integer `5`, expected a string at line 1 column 36"},
    };
    for (const Case& c : cases) {
        auto read = from_text<RuleMeta>(c.json);
        ASSERT_FALSE(read) << c.json;
        EXPECT_EQ(read.error(), c.error) << c.json;
    }
}

}  // namespace
}  // namespace vorelpolicy_contracts::controls
