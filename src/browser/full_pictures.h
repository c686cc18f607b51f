// The full-size pictures behind the thumbnails. A thumbnail carries, as
// "orig-pixbuf", where its full picture comes from; the picture itself is
// decoded on the worker threads when it is first wanted and kept in a cache
// bounded by bytes, least recently used first out, so that a disc of thousands
// of large pictures fits in memory. The main thread never decodes: a picture
// not in the cache is asked for, and the view shows the thumbnail meanwhile.
// Main thread only (the workers touch no widget and no cache entry).
#pragma once

#include "catalogue/picture_decoder.h"

#include <gtk/gtk.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// What "orig-pixbuf" holds: the picture's file (relative to the medium root)
// and the size its header declares.
struct FullPictureSource {
  std::string path;
  int width = 0;
  int height = 0;
  // The file could not be decoded: its full picture is the placeholder, and
  // the file is not read again.
  bool unreadable = false;
};

// Hands `source` to `thumbnail` (released with it, and its cached picture too).
void attachFullPictureSource(GtkWidget *thumbnail, std::unique_ptr<FullPictureSource> source);

// The source a thumbnail carries, or null.
const FullPictureSource *fullPictureSourceOf(GtkWidget *thumbnail);

// The full picture of `thumbnail` if the cache holds it, else null. It counts
// as shown: the cache keeps it whatever its bound.
PixbufPtr cachedFullPicture(GtkWidget *thumbnail);

// Asks the workers for the full picture of `shown` (unless cached or on its
// way), then for the pictures of `series` after position `from` (wrapping
// round, as cine plays them) as far as they fit in half the cache. What was
// asked for before and no worker has started on is dropped: after a run of
// quick steps only the pictures around the last one are decoded.
void requestFullPictures(GtkWidget *shown, const std::vector<GtkWidget *> &series, int from);

// Whether the latest decoding of the thumbnail's picture failed (the disc was
// taken out, the file went) and none has succeeded since.
bool fullPictureUnreadable(GtkWidget *thumbnail);

// Called on the main loop, with the toolkit's lock held, each time a decoding
// ends, well or not. Null removes it.
void setFullPictureArrivalHandler(void (*handler)());

// The full picture of `thumbnail`, from the cache or decoded now on the calling
// thread; null when it cannot be decoded. For checks of what a source holds.
PixbufPtr fullPicture(GtkWidget *thumbnail);

// The cache bound in bytes (256 MiB unless changed). Whatever the bound, the
// picture last shown and the one expected after it stay.
constexpr size_t kDefaultFullPictureCacheBytes = 256u * 1024 * 1024;
void setFullPictureCacheBound(size_t bytes);

// Empties the cache, as if no picture had been shown yet (for measurements).
void forgetFullPictures();

// Bytes of pixels the cache holds now.
size_t fullPictureCacheBytes();

// Pictures asked of the workers whose result has not reached the main loop yet.
int fullPicturePrefetchesUnderWay();
