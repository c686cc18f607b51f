// A preview of the written pictures on one sheet, each on the ground it has in
// the program, the small ones also enlarged.
#pragma once

#include <string>

bool writeContactSheet(const std::string &imgDir, const std::string &sheetPath, std::string *error);
