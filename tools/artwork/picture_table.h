// The list of pictures the artwork writes: file name, size, file type, drawing,
// and the background each one is shown on in the program.
#pragma once

#include "canvas.h"

#include <vector>

namespace artwork {

// Where a picture appears, so that a preview can show it on the right ground.
enum class Backdrop { White, Black, Theme, Page };

struct PictureEntry {
  const char *name;
  int width;
  int height;
  FileType type;
  Backdrop backdrop;
  void (*draw)(cairo_t *cr, int width, int height);
};

const std::vector<PictureEntry> &pictureTable();

}  // namespace artwork
