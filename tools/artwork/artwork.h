// The navigator's own pictures (tiles, icons, buttons, the report page's frame),
// drawn from code into a medium's img folder.
#pragma once

#include <string>

// Creates imgDir (with its parents) when missing and writes every picture into it,
// replacing older ones. False, with a message in *error when given, as soon as a
// picture cannot be written.
bool writeArtwork(const std::string &imgDir, std::string *error);
