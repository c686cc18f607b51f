// The picture that stands on the disc for a frame that cannot be rendered, so
// that a series is never left without pictures and says why.
#pragma once

#include "reference_pictures.h"

#include <string>

namespace makedisc {

// A grey square of `side` pixels reading "Nie można pokazać tego obrazu" and,
// below, `why` (Polish, one sentence or two). May run on any thread.
Raster placeholderPicture(const std::string &why, int side);

}  // namespace makedisc
