// ado/excerpt_internal.h: a short excerpt of text a caller gave, for error
// descriptions, so that a message never repeats megabytes of hostile or
// mistaken input.
// Thread-safety: pure function.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvo::ado {

inline constexpr size_t kExcerptBytes = 80;

// `text` when it has at most `max_bytes` bytes; otherwise its first bytes
// (cut before a UTF-8 sequence, never inside one) followed by "...".
inline std::string Excerpt(std::string_view text, size_t max_bytes = kExcerptBytes) {
  if (text.size() <= max_bytes) return std::string(text);
  size_t cut = max_bytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut)) + "...";
}

// `text` when it has at most `max_bytes` bytes; otherwise its beginning and
// its end with " ... " between, so that a message whose middle quotes the
// input keeps its own words at both ends.
inline std::string ExcerptEnds(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  size_t tail = text.size() - max_bytes / 3;
  while (tail < text.size() && (static_cast<unsigned char>(text[tail]) & 0xC0) == 0x80) ++tail;
  std::string head = Excerpt(text, max_bytes - max_bytes / 3);
  head.resize(head.size() - 3);  // Excerpt's "..."
  return head + " ... " + std::string(text.substr(tail));
}

}  // namespace korvo::ado
