// Conversions between the program's UTF-8 and the UTF-16 of the Windows calls.
#include "platform/windows/wide_text.h"

#include <windows.h>

namespace platform {
namespace windows {

bool widen(const std::string &text, std::wstring &wide) {
  wide.clear();
  if (text.empty()) return true;
  if (text.find('\0') != std::string::npos || text.size() > 0x7fffffff) return false;
  const int length = static_cast<int>(text.size());
  int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  wide.resize(static_cast<size_t>(needed));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, &wide[0], needed) == needed;
}

std::string narrow(const std::wstring &wide) {
  if (wide.empty() || wide.size() > 0x7fffffff) return std::string();
  const int length = static_cast<int>(wide.size());
  int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string text(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &text[0], needed, nullptr, nullptr);
  return text;
}

std::string errorText(unsigned long code) {
  wchar_t *buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
  std::wstring message = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
  LocalFree(buffer);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  if (message.empty()) return "error " + std::to_string(code);
  return narrow(message);
}

}  // namespace windows
}  // namespace platform
