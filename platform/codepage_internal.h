// platform/codepage_internal.h: whole-string conversions for the platform
// layer's own use (registry, resources, debug output), over the same engine
// as MultiByteToWideChar / WideCharToMultiByte. Not installed.
#pragma once

#include <korvo/platform/wintypes.h>

#include <string>
#include <string_view>

namespace korvo::platform {

// Converts the whole text; malformed or unrepresentable characters are
// replaced as the public functions replace them. An unknown code page gives
// an empty result.
std::u16string ToUtf16(UINT codePage, std::string_view text);
std::string FromUtf16(UINT codePage, std::u16string_view text);

// True when the code page is UTF-8 (CP_UTF8, or CP_ACP / CP_OEMCP set so).
bool IsUtf8CodePage(UINT codePage);

}  // namespace korvo::platform
