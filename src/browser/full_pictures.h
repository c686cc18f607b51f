// The full-size pictures behind the thumbnails. A thumbnail carries, as
// "orig-pixbuf", where its full picture comes from; the picture itself is
// decoded when it is first shown and kept in a cache bounded by bytes, least
// recently used first out, so that a disc of thousands of large pictures fits
// in memory. The pictures of the shown series are decoded ahead on a worker
// thread. Main thread only (the worker touches no widget and no cache entry).
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
};

// Hands `source` to `thumbnail` (released with it, and its cached picture too).
void attachFullPictureSource(GtkWidget *thumbnail, std::unique_ptr<FullPictureSource> source);

// The source a thumbnail carries, or null.
const FullPictureSource *fullPictureSourceOf(GtkWidget *thumbnail);

// The full picture of `thumbnail`, from the cache or decoded now. Null when
// there is none or it cannot be decoded any more (the disc was taken out); the
// trace says why.
PixbufPtr fullPicture(GtkWidget *thumbnail);

// Decodes the pictures of `series` after position `from` (wrapping round, as
// cine plays them) on a worker, as far as they fit in half the cache, and keeps
// them. Pictures already cached or on their way are not decoded again.
void prefetchFullPictures(const std::vector<GtkWidget *> &series, int from);

// The cache bound in bytes (256 MiB unless changed). Whatever the bound, the
// picture last asked for and the one prefetched after it stay.
constexpr size_t kDefaultFullPictureCacheBytes = 256u * 1024 * 1024;
void setFullPictureCacheBound(size_t bytes);

// Empties the cache, as if no picture had been shown yet (for measurements).
void forgetFullPictures();

// Bytes of pixels the cache holds now.
size_t fullPictureCacheBytes();

// Pictures being decoded ahead whose result has not reached the main loop yet.
int fullPicturePrefetchesUnderWay();
