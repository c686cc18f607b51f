// The medium root, and the rules that fix it from the command line or the
// program's path.
#pragma once

#include <string>
#include <vector>

// Medium root from the command line or the program's path, ending in a separator.
// Set once at start-up; read only by report opening.
extern std::string currentPath;

// The part of `programPath` before its last "\gtk" or "/gtk", followed by the
// separator that began it. Empty when the path holds neither.
std::string rootFromProgramPath(const std::string &programPath);

// `currentPath` from the arguments (argument 0 is the program's path):
// the first argument, or the root derived from the program's path; a final
// double quote removed; a separator appended unless one ends it. Where neither
// gives a root (an empty argument, a program outside a "gtk" folder),
// `currentDirectory` with a separator is the root.
std::string mediumRootFromArguments(const std::vector<std::string> &arguments,
                                    const std::string &currentDirectory);
