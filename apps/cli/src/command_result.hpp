#pragma once
// What every command returns to the dispatcher: success, or the display text
// of the first error it met (one line; the dispatcher prefixes "error: ").
#include <expected>
#include <string>

namespace razavovivodidi {

using CommandResult = std::expected<void, std::string>;

}  // namespace razavovivodidi
