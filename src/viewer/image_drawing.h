// Drawing the picture of the current image: the frame through the output
// lookup into a picture of its own size, made again only when the frame or
// the window changes, then turned, flipped, scaled and moved on the screen
// with the overlays above it. Main thread only.
#pragma once

#include "imaging/frame_cache.h"
#include "imaging/view_state.h"
#include "platform/glib_owners.h"

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

struct PictureRendering {
  SharedFrame frame;  // the frame `picture` shows
  DisplaySettings settings;
  UniqueObject<GdkPixbuf> picture;
};

// Makes `rendering` show `frame` at `settings`; nothing is done when it does.
void renderPicture(PictureRendering &rendering, const SharedFrame &frame, const DisplaySettings &settings);

// The zoom at which the turned picture fits a view of `width` × `height`.
double fitZoom(const DecodedFrame &frame, const ViewState &state, int width, int height);

// Draws into the drawing area `widget`: the picture of `frame` (null: none
// yet, or `problem`, a Polish line, in its place) with the overlays.
void drawPicture(GtkWidget *widget, const SharedFrame &frame, const ViewState &state,
                 PictureRendering &rendering, const std::string &problem);

// The picture as the view shows it (window, negative, turns and flip) at the
// frame's own size, for saving, copying and printing: no detail lost to the
// screen's zoom. With `overlays`, the overlays over it and what `extra` draws
// in picture coordinates (the measurements). Null when it cannot be made.
UniqueObject<GdkPixbuf> shownPicture(const SharedFrame &frame, const ViewState &state, bool overlays,
                                     const std::function<void(cairo_t *)> &extra = {});

// The status line for the pointer at `x`, `y` of a view of `width` × `height`:
// the pixel and its value stored and in modality units (HU on CT).
std::string valueUnderPointerText(const DecodedFrame &frame, const ViewState &state, int width, int height,
                                  double x, double y);
