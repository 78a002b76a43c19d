// tool/display_width.h: how many terminal columns a UTF-8 text takes, so
// that tables line up with wide (East Asian) and combining characters.
#pragma once

#include <string>
#include <string_view>

namespace korvo::tool {

// Makes the character type locale UTF-8: the user's own when it is UTF-8,
// else C.UTF-8. Line editing and wcwidth both read multibyte text through
// it, and the tool's text is UTF-8 whatever LANG says. Idempotent.
void UseUtf8Locale();

// Columns `text` takes on a terminal: wcwidth per code point (wide
// characters 2, combining marks 0); a control character or malformed byte
// counts 1, as the table shows such bytes escaped or replaced.
size_t DisplayWidth(std::string_view text);

// `text` followed by spaces up to `width` columns (no cut when wider).
std::string PadToWidth(std::string_view text, size_t width);

}  // namespace korvo::tool
