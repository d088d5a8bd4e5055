#pragma once

#include <string>
#include <string_view>

#include "settings/ConfSet.h"

// A parameter's value as an operator writes and reads it (UTF-8): texts as they stand,
// integers in decimal, decimals as shortest round-trip numbers, data as hexadecimal.
namespace valuetext {

// Sets `name` from `text` by the parameter's type. On failure `error` holds the reason
// (the store's message, converted to UTF-8, when the store refused).
bool setFromText(settings::ConfSet& store, const std::string& name, std::string_view text,
                 std::string& error);

// The value of `name`; on failure `error` holds the reason as UTF-8.
bool toText(settings::ConfSet& store, const std::string& name, std::string& text,
            std::string& error);

// The type code for a label (UTF-8, "整数") or a digit 0 to 7; -1 when neither.
int typeFromText(std::string_view text);

} // namespace valuetext
