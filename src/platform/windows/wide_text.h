// UTF-8 inside the program, UTF-16 at every Windows call.
#pragma once

#include <string>

namespace platform {
namespace windows {

// The UTF-16 form of a UTF-8 text. False for text that is not UTF-8 or holds a
// NUL, which a Windows call would cut: such a path never names another file.
bool widen(const std::string &text, std::wstring &wide);

// The UTF-8 form of a UTF-16 text; unpaired surrogates become U+FFFD.
std::string narrow(const std::wstring &wide);

// The system's own description of an error code, in UTF-8, without a final
// line break.
std::string errorText(unsigned long code);

}  // namespace windows
}  // namespace platform
