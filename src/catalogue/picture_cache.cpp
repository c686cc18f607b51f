// Full-size pictures by id, byte-bounded, decoded on the worker pool.
#include "catalogue/picture_cache.h"

#include "base/trace.h"
#include "catalogue/worker_pool.h"
#include "platform/platform.h"

#include <algorithm>
#include <deque>
#include <mutex>

namespace {

struct Decoded {
  PictureCache::Id id = 0;
  DecodedPicture picture;
};

}  // namespace

// What the workers are asked for and what they hand back. A posted job does
// not carry its picture: it takes the most wanted one when it starts, so that
// pictures asked for by steps long passed are never decoded. The lock orders
// a worker's writes before the owner's reads.
struct PictureCache::Requests {
  std::mutex lock;
  std::deque<Wanted> waiting;  // most wanted first; no worker has started on them
  std::set<Id> started;        // being decoded, or decoded and not yet taken
  int jobsPosted = 0;          // posted jobs that have not started
  std::deque<std::unique_ptr<Decoded>> done;

  // A worker: decodes the most wanted picture, if any is still wanted.
  void decodeMostWanted(int wakeupWatch) {
    Wanted next;
    {
      std::lock_guard<std::mutex> guard(lock);
      --jobsPosted;
      if (waiting.empty()) return;
      next = std::move(waiting.front());
      waiting.pop_front();
      started.insert(next.id);
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
      std::lock_guard<std::mutex> guard(lock);
      done.push_back(std::move(result));
    }
    platform::wakeMainLoop(wakeupWatch);
  }
};

PictureCache::PictureCache(size_t boundBytes) : bound_(boundBytes), requests_(std::make_shared<Requests>()) {}

PixbufPtr PictureCache::find(Id id) {
  auto found = entries_.find(id);
  if (found == entries_.end()) return nullptr;
  touch(id);
  return PixbufPtr(GDK_PIXBUF(g_object_ref(found->second.pixels.get())));
}

void PictureCache::touch(Id id) {
  auto found = entries_.find(id);
  if (found == entries_.end()) return;
  ages_.erase(found->second.age);
  ages_.push_front(id);
  found->second.age = ages_.begin();
}

void PictureCache::keep(Id id, PixbufPtr pixels) {
  auto found = entries_.find(id);
  if (found != entries_.end()) {
    bytes_ -= found->second.bytes;
    ages_.erase(found->second.age);
    entries_.erase(found);
  }
  Entry entry;
  entry.bytes = gdk_pixbuf_get_byte_length(pixels.get());
  entry.pixels = std::move(pixels);
  ages_.push_front(id);
  entry.age = ages_.begin();
  bytes_ += entry.bytes;
  entries_.emplace(id, std::move(entry));
  evictBeyondBound();
}

void PictureCache::forget(Id id) {
  auto found = entries_.find(id);
  if (found != entries_.end()) {
    bytes_ -= found->second.bytes;
    ages_.erase(found->second.age);
    entries_.erase(found);
  }
  failed_.erase(id);
  std::lock_guard<std::mutex> guard(requests_->lock);
  std::deque<Wanted> &waiting = requests_->waiting;
  waiting.erase(std::remove_if(waiting.begin(), waiting.end(), [id](const Wanted &w) { return w.id == id; }),
                waiting.end());
  requests_->started.erase(id);
}

void PictureCache::forgetAll() {
  while (!entries_.empty()) {
    auto first = entries_.begin();
    bytes_ -= first->second.bytes;
    ages_.erase(first->second.age);
    entries_.erase(first);
  }
}

void PictureCache::setBound(size_t bytes) {
  bound_ = bytes;
  evictBeyondBound();
}

void PictureCache::evictBeyondBound() {
  auto candidate = ages_.end();
  while (bytes_ > bound_ && candidate != ages_.begin()) {
    --candidate;
    Id id = *candidate;
    if (id == shown_ || id == next_) continue;
    ++candidate;
    auto found = entries_.find(id);
    bytes_ -= found->second.bytes;
    ages_.erase(found->second.age);
    entries_.erase(found);
  }
}

void PictureCache::ask(std::vector<Wanted> wanted, int wakeupWatch) {
  prepareDecodingThreads();
  int more = 0;
  {
    std::lock_guard<std::mutex> guard(requests_->lock);
    requests_->waiting.clear();
    for (Wanted &picture : wanted)
      if (requests_->started.count(picture.id) == 0) requests_->waiting.push_back(std::move(picture));
    more = std::max(0, static_cast<int>(requests_->waiting.size()) - requests_->jobsPosted);
    requests_->jobsPosted += more;
  }
  std::shared_ptr<Requests> shared = requests_;
  for (int job = 0; job < more; ++job)
    WorkerPool::shared().post([shared, wakeupWatch] { shared->decodeMostWanted(wakeupWatch); });
}

bool PictureCache::takeDecoded() {
  bool any = false;
  for (;;) {
    std::unique_ptr<Decoded> decoded;
    {
      std::lock_guard<std::mutex> guard(requests_->lock);
      if (requests_->done.empty()) break;
      decoded = std::move(requests_->done.front());
      requests_->done.pop_front();
      any = true;
      // Its owner has gone meanwhile: the picture is nobody's.
      if (requests_->started.erase(decoded->id) == 0) continue;
    }
    if (decoded->picture.pixels) {
      failed_.erase(decoded->id);
      keep(decoded->id, std::move(decoded->picture.pixels));
    } else {
      failed_.insert(decoded->id);
      trace("obraz niedostępny: " + decoded->picture.message);
    }
  }
  return any;
}

int PictureCache::underWay() const {
  std::lock_guard<std::mutex> guard(requests_->lock);
  return static_cast<int>(requests_->waiting.size() + requests_->started.size());
}
