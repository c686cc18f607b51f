// Full-size pictures decoded on the worker pool when wanted, kept in a
// byte-bounded LRU cache keyed by the thumbnails' source ids.
#include "browser/full_pictures.h"

#include "base/trace.h"
#include "browser/unreadable_picture.h"
#include "catalogue/picture_cache.h"
#include "platform/platform.h"

#include <gdk/gdk.h>

#include <algorithm>
#include <memory>

namespace {

// A source as the cache knows it: by a number that is never reused, so that a
// picture decoded for a thumbnail that has gone since is never given to another.
struct Source : FullPictureSource {
  PictureCache::Id id = 0;
};

// The pictures behind every thumbnail of the process: one browser, one cache.
struct FullPictures {
  PictureCache cache{kDefaultFullPictureCacheBytes};
  PictureCache::Id lastSourceId = 0;
  void (*arrivalHandler)() = nullptr;
  int wakeup = -1;  // the main loop's watch the workers wake
};
// Process-wide: the main loop's wake-up callback reaches it without data.
FullPictures pictures;

size_t expectedBytes(const FullPictureSource &source) {
  return static_cast<size_t>(source.width) * static_cast<size_t>(source.height) * 4;
}

const Source *sourceOf(GtkWidget *thumbnail) {
  if (thumbnail == nullptr) return nullptr;
  return static_cast<const Source *>(g_object_get_data(G_OBJECT(thumbnail), "orig-pixbuf"));
}

void onDecoded() {
  // As every callback the toolkit runs for other threads: under its lock.
  gdk_threads_enter();
  if (pictures.cache.takeDecoded() && pictures.arrivalHandler != nullptr) pictures.arrivalHandler();
  gdk_threads_leave();
}

// Main thread, before the first picture is asked for.
bool watchDecodings() {
  if (pictures.wakeup < 0) pictures.wakeup = platform::watchMainLoopWakeups(onDecoded);
  return pictures.wakeup >= 0;
}

void releaseSource(gpointer data) {
  auto *source = static_cast<Source *>(data);
  pictures.cache.forget(source->id);
  delete source;
}

}  // namespace

void attachFullPictureSource(GtkWidget *thumbnail, std::unique_ptr<FullPictureSource> given) {
  auto *source = new Source();
  static_cast<FullPictureSource &>(*source) = std::move(*given);
  source->id = ++pictures.lastSourceId;
  g_object_set_data_full(G_OBJECT(thumbnail), "orig-pixbuf", source, releaseSource);
}

const FullPictureSource *fullPictureSourceOf(GtkWidget *thumbnail) { return sourceOf(thumbnail); }

PixbufPtr cachedFullPicture(GtkWidget *thumbnail) {
  const Source *source = sourceOf(thumbnail);
  if (source == nullptr) return nullptr;
  if (source->unreadable) {
    GdkPixbuf *placeholder = unreadablePicture();
    return placeholder != nullptr ? PixbufPtr(GDK_PIXBUF(g_object_ref(placeholder))) : nullptr;
  }
  pictures.cache.setShown(source->id);
  return pictures.cache.find(source->id);
}

void requestFullPictures(GtkWidget *shown, const std::vector<GtkWidget *> &series, int from) {
  if (!watchDecodings()) return;
  PictureCache &cache = pictures.cache;
  std::vector<PictureCache::Wanted> wanted;
  if (const Source *source = sourceOf(shown)) {
    cache.setShown(source->id);
    if (!cache.holds(source->id) && !source->unreadable) wanted.push_back({source->id, source->path});
  }
  cache.setNext(0);
  size_t count = series.size();
  size_t budget = cache.bound() / 2;
  size_t planned = 0;
  for (size_t step = 1; count > 0 && step <= std::max<size_t>(count - 1, 1); ++step) {
    const Source *source = sourceOf(series[(static_cast<size_t>(std::max(from, 0)) + step) % count]);
    if (source == nullptr || source->unreadable) continue;
    if (step == 1) cache.setNext(source->id);
    planned += expectedBytes(*source);
    if (step > 1 && planned > budget) break;
    if (cache.holds(source->id)) {
      // Counted as used, so that the pictures about to be shown are not the
      // first to go.
      cache.touch(source->id);
      continue;
    }
    wanted.push_back({source->id, source->path});
  }
  cache.ask(std::move(wanted), pictures.wakeup);
}

bool fullPictureUnreadable(GtkWidget *thumbnail) {
  const Source *source = sourceOf(thumbnail);
  return source != nullptr && pictures.cache.failed(source->id);
}

void setFullPictureArrivalHandler(void (*handler)()) { pictures.arrivalHandler = handler; }

PixbufPtr fullPicture(GtkWidget *thumbnail) {
  const Source *source = sourceOf(thumbnail);
  if (source == nullptr) return nullptr;
  if (PixbufPtr cached = cachedFullPicture(thumbnail)) return cached;
  DecodedPicture decoded = decodePictureFile(source->path);
  if (!decoded.pixels) {
    trace("obraz niedostępny: " + decoded.message);
    return nullptr;
  }
  PixbufPtr shown(GDK_PIXBUF(g_object_ref(decoded.pixels.get())));
  pictures.cache.keep(source->id, std::move(decoded.pixels));
  return shown;
}

void setFullPictureCacheBound(size_t bytes) { pictures.cache.setBound(bytes); }

void forgetFullPictures() { pictures.cache.forgetAll(); }

size_t fullPictureCacheBytes() { return pictures.cache.bytes(); }

int fullPicturePrefetchesUnderWay() { return pictures.cache.underWay(); }
