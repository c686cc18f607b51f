// Diagnostic lines on standard output; nothing reads them.
#pragma once

#include <string>

// Writes `line` and a line break. Safe from any thread.
void trace(const std::string &line);

// Writes `text` without a line break: whatever is traced next continues the line.
void traceNoBreak(const std::string &text);
