// Full-size pictures decoded on demand, kept in a byte-bounded LRU cache, and
// decoded ahead for the shown series on the worker pool.
#include "browser/full_pictures.h"

#include "base/trace.h"
#include "catalogue/worker_pool.h"
#include "platform/platform.h"

#include <gdk/gdk.h>

#include <algorithm>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace {

// A source as the cache knows it: by a number that is never reused, so that a
// picture decoded for a thumbnail that has gone since is never given to another.
struct Source : FullPictureSource {
  guint64 id = 0;
};
guint64 lastSourceId = 0;

struct Entry {
  PixbufPtr pixels;
  size_t bytes = 0;
  std::list<guint64>::iterator age;
};
std::map<guint64, Entry> cache;
std::list<guint64> ages;  // most recently used first
size_t cachedBytes = 0;
size_t cacheBound = kDefaultFullPictureCacheBytes;

// Never evicted: the picture last asked for and the one expected after it.
guint64 lastAsked = 0;
guint64 expectedNext = 0;

// Pictures a worker is decoding now, and how many decodings are under way.
std::set<guint64> onTheirWay;
int prefetchesRunning = 0;

size_t bytesOf(GdkPixbuf *pixels) { return gdk_pixbuf_get_byte_length(pixels); }

size_t expectedBytes(const FullPictureSource &source) {
  return static_cast<size_t>(source.width) * static_cast<size_t>(source.height) * 4;
}

void forget(guint64 id) {
  auto found = cache.find(id);
  if (found == cache.end()) return;
  cachedBytes -= found->second.bytes;
  ages.erase(found->second.age);
  cache.erase(found);
}

void touch(Entry &entry, guint64 id) {
  ages.erase(entry.age);
  ages.push_front(id);
  entry.age = ages.begin();
}

void evictBeyondBound() {
  auto candidate = ages.end();
  while (cachedBytes > cacheBound && candidate != ages.begin()) {
    --candidate;
    guint64 id = *candidate;
    if (id == lastAsked || id == expectedNext) continue;
    auto older = candidate;
    ++candidate;
    forget(*older);
  }
}

void keep(guint64 id, PixbufPtr pixels) {
  forget(id);
  Entry entry;
  entry.bytes = bytesOf(pixels.get());
  entry.pixels = std::move(pixels);
  ages.push_front(id);
  entry.age = ages.begin();
  cachedBytes += entry.bytes;
  cache.emplace(id, std::move(entry));
  evictBeyondBound();
}

void releaseSource(gpointer data) {
  auto *source = static_cast<Source *>(data);
  forget(source->id);
  onTheirWay.erase(source->id);
  delete source;
}

const Source *sourceOf(GtkWidget *thumbnail) {
  if (thumbnail == nullptr) return nullptr;
  return static_cast<const Source *>(g_object_get_data(G_OBJECT(thumbnail), "orig-pixbuf"));
}

// A picture a worker decoded, handed to the main loop.
struct Prefetched {
  guint64 id;
  DecodedPicture picture;
};

// Decoded pictures on their way from the workers to the main thread. The
// queue's own lock orders a worker's writes before the main thread's reads; a
// wake-up of the main loop, whose watch the main thread made, tells it, so
// that no worker ever touches the main loop's own structures. Never
// destroyed: a worker may still hand a picture over while the process ends.
struct HandOver {
  std::mutex lock;
  std::deque<std::unique_ptr<Prefetched>> pictures;
  int wakeup = -1;
};
HandOver &handOver() {
  static HandOver *queue = new HandOver();
  return *queue;
}

void takePrefetched(std::unique_ptr<Prefetched> prefetched);

void onHandOver() {
  // As every callback the toolkit runs for other threads: under its lock.
  gdk_threads_enter();
  for (;;) {
    std::unique_ptr<Prefetched> prefetched;
    {
      std::lock_guard<std::mutex> guard(handOver().lock);
      if (handOver().pictures.empty()) break;
      prefetched = std::move(handOver().pictures.front());
      handOver().pictures.pop_front();
    }
    takePrefetched(std::move(prefetched));
  }
  gdk_threads_leave();
}

// Main thread, before the first picture is handed over.
bool watchHandOver() {
  HandOver &queue = handOver();
  if (queue.wakeup < 0) queue.wakeup = platform::watchMainLoopWakeups(onHandOver);
  return queue.wakeup >= 0;
}

void takePrefetched(std::unique_ptr<Prefetched> prefetched) {
  --prefetchesRunning;
  // Its thumbnail may have gone meanwhile, taking the source with it.
  if (onTheirWay.erase(prefetched->id) == 0) return;
  if (prefetched->picture.pixels)
    keep(prefetched->id, std::move(prefetched->picture.pixels));
  else
    trace("obraz niedostępny: " + prefetched->picture.message);
}

}  // namespace

void attachFullPictureSource(GtkWidget *thumbnail, std::unique_ptr<FullPictureSource> given) {
  auto *source = new Source();
  static_cast<FullPictureSource &>(*source) = std::move(*given);
  source->id = ++lastSourceId;
  g_object_set_data_full(G_OBJECT(thumbnail), "orig-pixbuf", source, releaseSource);
}

const FullPictureSource *fullPictureSourceOf(GtkWidget *thumbnail) { return sourceOf(thumbnail); }

PixbufPtr fullPicture(GtkWidget *thumbnail) {
  const Source *source = sourceOf(thumbnail);
  if (source == nullptr) return nullptr;
  lastAsked = source->id;
  auto found = cache.find(source->id);
  if (found != cache.end()) {
    touch(found->second, source->id);
    return PixbufPtr(GDK_PIXBUF(g_object_ref(found->second.pixels.get())));
  }
  DecodedPicture decoded = decodePictureFile(source->path);
  if (!decoded.pixels) {
    trace("obraz niedostępny: " + decoded.message);
    return nullptr;
  }
  PixbufPtr shown(GDK_PIXBUF(g_object_ref(decoded.pixels.get())));
  keep(source->id, std::move(decoded.pixels));
  return shown;
}

void prefetchFullPictures(const std::vector<GtkWidget *> &series, int from) {
  if (series.empty() || !watchHandOver()) return;
  prepareDecodingThreads();
  size_t count = series.size();
  size_t budget = cacheBound / 2;
  size_t planned = 0;
  expectedNext = 0;
  for (size_t step = 1; step <= std::max<size_t>(count - 1, 1); ++step) {
    const Source *source = sourceOf(series[(static_cast<size_t>(from) + step) % count]);
    if (source == nullptr) continue;
    if (step == 1) expectedNext = source->id;
    planned += expectedBytes(*source);
    if (step > 1 && planned > budget) break;
    auto cached = cache.find(source->id);
    if (cached != cache.end()) {
      // Counted as used, so that the pictures about to be shown are not the
      // first to go.
      touch(cached->second, source->id);
      continue;
    }
    if (!onTheirWay.insert(source->id).second) continue;
    ++prefetchesRunning;
    WorkerPool::shared().post([id = source->id, path = source->path] {
      auto prefetched = std::make_unique<Prefetched>(Prefetched{id, decodePictureFile(path)});
      {
        std::lock_guard<std::mutex> guard(handOver().lock);
        handOver().pictures.push_back(std::move(prefetched));
      }
      platform::wakeMainLoop(handOver().wakeup);
    });
  }
}

void setFullPictureCacheBound(size_t bytes) {
  cacheBound = bytes;
  evictBeyondBound();
}

void forgetFullPictures() {
  while (!cache.empty()) forget(cache.begin()->first);
}

size_t fullPictureCacheBytes() { return cachedBytes; }

int fullPicturePrefetchesUnderWay() { return prefetchesRunning; }
