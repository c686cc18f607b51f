// Byte-limited text that stays valid UTF-8.
#pragma once

#include <cstddef>
#include <string>

// The longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 character.
std::string cutAtCharacterBoundary(const std::string &text, size_t maxBytes);

// A value longer than 16 bytes becomes its first 16 bytes (backed off to a
// character boundary) followed by "..."; shorter values stay whole.
std::string shortenTo16Bytes(const std::string &value);

// `text` with every invalid UTF-8 sequence replaced, the rest kept.
std::string makeValidUtf8(const std::string &text);
