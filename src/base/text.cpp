// Byte-limited text that stays valid UTF-8.
#include "base/text.h"

#include <glib.h>

std::string cutAtCharacterBoundary(const std::string &text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string shortenTo16Bytes(const std::string &value) {
  if (value.size() <= 16) return value;
  return cutAtCharacterBoundary(value, 16) + "...";
}

std::string makeValidUtf8(const std::string &text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
  std::string result;
  const char *p = text.data();
  const char *end = p + text.size();
  while (p < end) {
    const char *invalid = nullptr;
    if (g_utf8_validate(p, end - p, &invalid)) {
      result.append(p, end);
      break;
    }
    result.append(p, invalid);
    result.append("\xEF\xBF\xBD");  // U+FFFD
    p = invalid + 1;
  }
  return result;
}
