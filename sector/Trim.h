#pragma once
// Text fields from drives, the system and settings files: the blanks and control
// characters around a value are not part of it.
#include <string_view>

inline bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F; }

// The text without the blanks and control characters at either end.
inline std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}
