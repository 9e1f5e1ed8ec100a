// The JSON reader on any text: it either refuses with a message at a
// position inside the text, or gives a value whose pretty form reads back as
// the same value and prints the same text again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "vorelcore_json/parse.hpp"
#include "vorelcore_json/write.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = vorel_fuzz::text_of(data, size);
    if (!vorel_fuzz::is_utf8(text)) return 0;

    auto value = vorelcore_json::parse(text);
    if (!value) {
        VOREL_FUZZ_CHECK(!value.error().message.empty());
        VOREL_FUZZ_CHECK(value.error().consumed <= text.size());
        const std::string located = vorelcore_json::located_message(text, value.error());
        VOREL_FUZZ_CHECK(located.starts_with(value.error().message + " at line "));
        return 0;
    }
    VOREL_FUZZ_CHECK(value->end() <= text.size());

    const std::string pretty = vorelcore_json::write_pretty(*value);
    VOREL_FUZZ_CHECK(vorel_fuzz::is_utf8(pretty));
    auto reread = vorelcore_json::parse(pretty);
    VOREL_FUZZ_CHECK(reread.has_value());
    VOREL_FUZZ_CHECK(*reread == *value);
    VOREL_FUZZ_CHECK(vorelcore_json::write_pretty(*reread) == pretty);
    return 0;
}
