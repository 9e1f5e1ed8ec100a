#include "vorelcore_contracts/audit.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "vorelcore_json/codec.hpp"

namespace vorelcore_contracts::audit {
namespace {

template <class T>
std::string read_error(const std::string& text) {
    auto value = vorelcore_json::from_text<T>(text);
    return value ? "<read>" : value.error();
}

// A spelling no enumeration accepts lists every accepted one, in
// declaration order: one line per enumeration fixes all its spellings.
TEST(AuditVocabulary, EveryEnumerationListsItsSpellingsInOrder) {
    struct Case {
        const char* type;
        std::function<std::string(const std::string&)> read;
        std::string expected;
    };
    const Case cases[] = {
        {"ActorType", read_error<ActorType>,
         "`user`, `administrator`, `device`, `service`, `product`, `federation_peer`, `system`, `unknown`"},
        {"AuditOutcome", read_error<AuditOutcome>,
         "`success`, `failure`, `denied`, `cancelled`, `expired`, `partial`, `unknown`"},
        {"AuditSeverity", read_error<AuditSeverity>, "`info`, `notice`, `warning`, `error`, `critical`"},
        {"AuditCategory", read_error<AuditCategory>,
         "`authentication`, `authorization`, `configuration`, `key_management`, `device_management`, "
         "`data_access`, `service_lifecycle`, `network_exposure`, `backup`, `restore`, `federation`, `policy`, "
         "`security`, `privacy`, `system`"},
        {"RetentionClass", read_error<RetentionClass>,
         "`ephemeral`, `operational`, `security`, `compliance`, `privacy_sensitive`, `debug`, `user_controlled`, "
         "`legal_hold`"},
        {"RedactionReason", read_error<RedactionReason>,
         "`personal_data`, `secret`, `location`, `user_content`, `policy_required`, `subject_request`, "
         "`audience_restricted`, `oversized`"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(c.read("\"Medium\""), "unknown variant `Medium`, expected one of " + c.expected +
                                            " at line 1 column 8");
        // and each listed spelling reads
        std::string rest = c.expected;
        for (auto open = rest.find('`'); open != std::string::npos; open = rest.find('`', open)) {
            const auto close = rest.find('`', open + 1);
            const std::string spelling = rest.substr(open + 1, close - open - 1);
            EXPECT_EQ(c.read("\"" + spelling + "\""), "<read>") << spelling;
            open = close + 1;
        }
    }
}

TEST(AuditVocabulary, TheAuditScaleIsNotThePolicyScale) {
    for (const char* policy_only : {"low", "medium", "high"}) {
        EXPECT_TRUE(read_error<AuditSeverity>("\"" + std::string(policy_only) + "\"")
                        .starts_with("unknown variant `" + std::string(policy_only) + "`"));
    }
}

TEST(AuditVocabulary, AbsentMembersAreOmitted) {
    struct Case {
        std::function<std::string()> write;
        std::string expected;
    };
    const Case cases[] = {
        {[] { return vorelcore_json::to_pretty(AuditActor{ActorType::Service, std::nullopt, std::nullopt}); },
         "{\n  \"actor_type\": \"service\"\n}"},
        {[] { return vorelcore_json::to_pretty(AuditTarget{"deployment_run", std::nullopt}); },
         "{\n  \"target_type\": \"deployment_run\"\n}"},
        {[] {
             return vorelcore_json::to_pretty(
                 RedactionMarker{"metadata_encrypted", RedactionReason::Oversized, std::nullopt, std::nullopt,
                                 std::nullopt});
         },
         "{\n  \"field_path\": \"metadata_encrypted\",\n  \"reason\": \"oversized\"\n}"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.write(), c.expected);
}

TEST(AuditVocabulary, AFullRedactionMarkerAndActorReadBackAsWritten) {
    const std::string marker = R"({
  "field_path": "actor.display_name_encrypted",
  "reason": "subject_request",
  "redaction_policy_id": "1b2c3d4e-5f60-4718-89a0-b1c2d3e4f506",
  "applied_at": "2026-12-01T10:00:00Z",
  "applied_by": "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27"
})";
    auto read = vorelcore_json::from_text<RedactionMarker>(marker);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->reason, RedactionReason::SubjectRequest);
    EXPECT_EQ(vorelcore_json::to_pretty(*read), marker);

    auto actor = vorelcore_json::from_text<AuditActor>(
        R"({"actor_type": "federation_peer", "actor_id": null, "display_name_encrypted": [1, 2, 255]})");
    ASSERT_TRUE(actor) << actor.error();
    EXPECT_EQ(*actor, (AuditActor{ActorType::FederationPeer, std::nullopt, OpaqueBytes{1, 2, 255}}));
}

TEST(AuditVocabulary, ReadErrors) {
    EXPECT_EQ(read_error<AuditActor>(R"({"actor_id": "a"})"), "missing field `actor_type` at line 1 column 17");
    EXPECT_EQ(read_error<AuditActor>(R"({"actor_type": "user", "display_name_encrypted": [1, -1]})"),
              "invalid value: integer `-1`, expected u8 at line 1 column 55");
    EXPECT_EQ(read_error<AuditTarget>(R"({"target_id": "x"})"), "missing field `target_type` at line 1 column 18");
    EXPECT_TRUE(read_error<RedactionMarker>(R"({"field_path": "a", "reason": "secret", "applied_by": "alice"})")
                    .starts_with("invalid IdentityId identifier: "));
}

}  // namespace
}  // namespace vorelcore_contracts::audit
