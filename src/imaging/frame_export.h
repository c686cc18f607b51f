// One frame rendered headless into a PNG picture: the viewer's
// --export-png, for scripts and checks without a display.
#pragma once

#include "imaging/display_mapping.h"

#include <optional>
#include <string>
#include <vector>

struct ExportRequest {
  std::string output;
  std::string input;
  long frame = 0;                // from 0
  std::optional<Window> window;  // else the file's own
};

// Parses "--export-png OUT.png [--frame N] [--window C,W] FILE" (the frame
// counted from 1 on the command line). False with `error` (Polish) on a
// malformed line; `arguments` without the program's name.
bool parseExportRequest(const std::vector<std::string> &arguments, ExportRequest &request,
                        std::string &error);

// Decodes and writes the picture. False with `error` (Polish) when the frame
// cannot be decoded or the file cannot be written; nothing is left behind then.
bool exportFrame(const ExportRequest &request, std::string &error);
