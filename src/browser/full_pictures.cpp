// Full-size pictures decoded on the worker pool when wanted, kept in a
// byte-bounded LRU cache.
#include "browser/full_pictures.h"

#include "base/trace.h"
#include "browser/unreadable_picture.h"
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

// Never evicted: the picture last shown and the one expected after it.
guint64 lastAsked = 0;
guint64 expectedNext = 0;

// Pictures whose latest decoding failed.
std::set<guint64> unreadable;
void (*arrivalHandler)() = nullptr;

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

const Source *sourceOf(GtkWidget *thumbnail) {
  if (thumbnail == nullptr) return nullptr;
  return static_cast<const Source *>(g_object_get_data(G_OBJECT(thumbnail), "orig-pixbuf"));
}

// ---- The requests shared with the workers ----

struct Wanted {
  guint64 id = 0;
  std::string path;
};

struct Decoded {
  guint64 id = 0;
  DecodedPicture picture;
};

// What the workers are asked for and what they hand back. A posted job does
// not carry its picture: it takes the most wanted one when it starts, so that
// pictures asked for by steps long passed are never decoded. The lock orders
// a worker's writes before the main thread's reads; a wake-up of the main
// loop, whose watch the main thread made, tells it of a result, so that no
// worker ever touches the main loop's own structures. Never destroyed: a
// worker may still hand a picture over while the process ends.
struct Requests {
  std::mutex lock;
  std::deque<Wanted> waiting;  // most wanted first; no worker has started on them
  std::set<guint64> started;   // being decoded, or decoded and not yet taken
  int jobsPosted = 0;          // posted jobs that have not started
  std::deque<std::unique_ptr<Decoded>> done;
  int wakeup = -1;
};
Requests &requests() {
  static Requests *shared = new Requests();
  return *shared;
}

// A worker: decodes the most wanted picture, if any is still wanted.
void decodeMostWanted() {
  Requests &shared = requests();
  Wanted next;
  {
    std::lock_guard<std::mutex> guard(shared.lock);
    --shared.jobsPosted;
    if (shared.waiting.empty()) return;
    next = std::move(shared.waiting.front());
    shared.waiting.pop_front();
    shared.started.insert(next.id);
  }
  // A decoding that fails with an exception (no memory for the picture) is
  // handed back as a picture that could not be decoded, so that it is never
  // left counted as under way.
  DecodedPicture picture;
  try {
    picture = decodePictureFile(next.path);
  } catch (const std::exception &error) {
    picture = DecodedPicture();
    picture.failure = PictureFailure::outOfMemory;
    picture.message = next.path + ": " + error.what();
  }
  auto result = std::make_unique<Decoded>(Decoded{next.id, std::move(picture)});
  {
    std::lock_guard<std::mutex> guard(shared.lock);
    shared.done.push_back(std::move(result));
  }
  platform::wakeMainLoop(shared.wakeup);
}

void take(std::unique_ptr<Decoded> decoded) {
  {
    std::lock_guard<std::mutex> guard(requests().lock);
    // Its thumbnail has gone meanwhile, taking the source with it.
    if (requests().started.erase(decoded->id) == 0) return;
  }
  if (decoded->picture.pixels) {
    unreadable.erase(decoded->id);
    keep(decoded->id, std::move(decoded->picture.pixels));
  } else {
    unreadable.insert(decoded->id);
    trace("obraz niedostępny: " + decoded->picture.message);
  }
}

void onDecoded() {
  // As every callback the toolkit runs for other threads: under its lock.
  gdk_threads_enter();
  bool any = false;
  for (;;) {
    std::unique_ptr<Decoded> decoded;
    {
      std::lock_guard<std::mutex> guard(requests().lock);
      if (requests().done.empty()) break;
      decoded = std::move(requests().done.front());
      requests().done.pop_front();
    }
    take(std::move(decoded));
    any = true;
  }
  if (any && arrivalHandler != nullptr) arrivalHandler();
  gdk_threads_leave();
}

// Main thread, before the first picture is asked for.
bool watchDecodings() {
  Requests &shared = requests();
  if (shared.wakeup < 0) shared.wakeup = platform::watchMainLoopWakeups(onDecoded);
  return shared.wakeup >= 0;
}

void releaseSource(gpointer data) {
  auto *source = static_cast<Source *>(data);
  forget(source->id);
  unreadable.erase(source->id);
  {
    std::lock_guard<std::mutex> guard(requests().lock);
    std::deque<Wanted> &waiting = requests().waiting;
    waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
                                 [source](const Wanted &wanted) { return wanted.id == source->id; }),
                  waiting.end());
    requests().started.erase(source->id);
  }
  delete source;
}

}  // namespace

void attachFullPictureSource(GtkWidget *thumbnail, std::unique_ptr<FullPictureSource> given) {
  auto *source = new Source();
  static_cast<FullPictureSource &>(*source) = std::move(*given);
  source->id = ++lastSourceId;
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
  lastAsked = source->id;
  auto found = cache.find(source->id);
  if (found == cache.end()) return nullptr;
  touch(found->second, source->id);
  return PixbufPtr(GDK_PIXBUF(g_object_ref(found->second.pixels.get())));
}

void requestFullPictures(GtkWidget *shown, const std::vector<GtkWidget *> &series, int from) {
  if (!watchDecodings()) return;
  prepareDecodingThreads();
  std::vector<Wanted> wanted;
  if (const Source *source = sourceOf(shown)) {
    lastAsked = source->id;
    if (cache.count(source->id) == 0 && !source->unreadable) wanted.push_back({source->id, source->path});
  }
  expectedNext = 0;
  size_t count = series.size();
  size_t budget = cacheBound / 2;
  size_t planned = 0;
  for (size_t step = 1; count > 0 && step <= std::max<size_t>(count - 1, 1); ++step) {
    const Source *source = sourceOf(series[(static_cast<size_t>(std::max(from, 0)) + step) % count]);
    if (source == nullptr || source->unreadable) continue;
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
    wanted.push_back({source->id, source->path});
  }

  int more = 0;
  {
    Requests &shared = requests();
    std::lock_guard<std::mutex> guard(shared.lock);
    shared.waiting.clear();
    for (Wanted &picture : wanted)
      if (shared.started.count(picture.id) == 0) shared.waiting.push_back(std::move(picture));
    more = std::max(0, static_cast<int>(shared.waiting.size()) - shared.jobsPosted);
    shared.jobsPosted += more;
  }
  for (int job = 0; job < more; ++job) WorkerPool::shared().post(decodeMostWanted);
}

bool fullPictureUnreadable(GtkWidget *thumbnail) {
  const Source *source = sourceOf(thumbnail);
  return source != nullptr && unreadable.count(source->id) != 0;
}

void setFullPictureArrivalHandler(void (*handler)()) { arrivalHandler = handler; }

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
  keep(source->id, std::move(decoded.pixels));
  return shown;
}

void setFullPictureCacheBound(size_t bytes) {
  cacheBound = bytes;
  evictBeyondBound();
}

void forgetFullPictures() {
  while (!cache.empty()) forget(cache.begin()->first);
}

size_t fullPictureCacheBytes() { return cachedBytes; }

int fullPicturePrefetchesUnderWay() {
  std::lock_guard<std::mutex> guard(requests().lock);
  return static_cast<int>(requests().waiting.size() + requests().started.size());
}
