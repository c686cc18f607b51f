// Saving a copy of a report, the file byte for byte, into a folder the user
// chose: never onto the medium, never over a file that is there.
#pragma once

#include <string>

enum class CopySaving { Saved, OntoMedium, Exists, Failed };

// Copies the report at `report` to `target`. A target whose folder lies on
// the medium (links resolved against `resolvedRoot`) is refused, and so is
// one that exists; a copy that fails half-way leaves nothing behind.
CopySaving saveReportCopy(const std::string &report, const std::string &target,
                          const std::string &resolvedRoot);

// What the user is told after saveReportCopy answered `result` for `target`.
std::string copySavingMessage(CopySaving result, const std::string &target);
