#include "voreldeploy_contracts/drift.hpp"

#include <utility>

namespace vorelcore_json {

using voreldeploy_contracts::drift::DriftFact;
using voreldeploy_contracts::drift::kDriftFactNames;

namespace {

constexpr std::string_view kTag = "fact";
constexpr std::string_view kContent = "value";

// Reads `content` as the value of the kind at `index`.
ReadResult<DriftFact> read_content(std::size_t index, const Value& content) {
    ReadResult<DriftFact> result = std::unexpected(ReadError{});
    for_each_index<std::variant_size_v<DriftFact>>([&](auto alternative) {
        constexpr std::size_t i = decltype(alternative)::value;
        if (i != index) return;
        using Alt = std::variant_alternative_t<i, DriftFact>;
        auto item = Codec<decltype(Alt::value)>::read(content);
        if (item) {
            result = DriftFact(std::in_place_index<i>, Alt{std::move(*item)});
        } else {
            result = std::unexpected(std::move(item.error()));
        }
    });
    return result;
}

}  // namespace

// Members are taken in document order, as a streaming reader would meet
// them: a value that precedes its tag is read as soon as the tag is known.
ReadResult<DriftFact> Codec<DriftFact>::read(const Value& value) {
    const Object* object = value.as_object();
    if (object == nullptr) return std::unexpected(invalid_type(value, "adjacently tagged enum DriftFact"));
    std::optional<std::size_t> kind;
    const Value* content = nullptr;
    std::optional<DriftFact> fact;
    for (const Member& member : *object) {
        if (member.key == kTag) {
            if (kind) return std::unexpected(duplicate_field(kTag, member.key_end));
            const std::string* name = member.value.as_string();
            if (name == nullptr) return std::unexpected(invalid_type(member.value, "variant identifier"));
            for (std::size_t i = 0; i < kDriftFactNames.size() && !kind; ++i) {
                if (kDriftFactNames[i] == *name) kind = i;
            }
            if (!kind) return std::unexpected(unknown_variant(*name, kDriftFactNames, member.value.end()));
        } else if (member.key == kContent) {
            if (content != nullptr) return std::unexpected(duplicate_field(kContent, member.key_end));
            content = &member.value;
        } else {
            continue;
        }
        if (kind && content != nullptr && !fact) {
            auto read = read_content(*kind, *content);
            if (!read) return std::unexpected(std::move(read.error()));
            fact = std::move(*read);
        }
    }
    if (!kind) return std::unexpected(missing_field(kTag, value.end()));
    if (content == nullptr) return std::unexpected(missing_field(kContent, value.end()));
    return std::move(*fact);
}

Value Codec<DriftFact>::write(const DriftFact& fact) {
    Object out;
    push_member(out, std::string(kTag), Value(std::string(kDriftFactNames[fact.index()])));
    std::visit(
        [&](const auto& alternative) {
            using Payload = decltype(alternative.value);
            push_member(out, std::string(kContent), Codec<Payload>::write(alternative.value));
        },
        fact);
    return Value(std::move(out));
}

}  // namespace vorelcore_json
