// The cache's state is shared with the jobs on the workers, so a job that
// finishes after its cache is gone only drops its frame.
// Threads: find, decode, want, onDecoded on the main thread; the jobs on the
// workers; the decoded notification on the main loop.
#include "imaging/frame_cache.h"

#include "catalogue/worker_pool.h"

#include <glib.h>

#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

struct FrameCache::State {
  mutable std::mutex mutex;
  std::condition_variable idle;
  size_t budget;
  size_t bytes = 0;
  std::list<FrameKey> recency;  // most recent first
  struct Entry {
    SharedFrame frame;
    std::list<FrameKey>::iterator place;
  };
  std::map<FrameKey, Entry> frames;
  std::set<FrameKey> wanted;
  std::set<FrameKey> queued;
  int running = 0;
  std::function<void(const FrameKey &)> decoded;
  bool alive = true;

  explicit State(size_t budgetBytes) : budget(budgetBytes) {}

  // Lock held.
  SharedFrame touch(const FrameKey &key) {
    auto found = frames.find(key);
    if (found == frames.end()) return nullptr;
    recency.splice(recency.begin(), recency, found->second.place);
    return found->second.frame;
  }

  // Lock held. The least recent frames go until the budget holds the rest.
  void keep(const FrameKey &key, SharedFrame frame) {
    if (frames.count(key) != 0) return;
    bytes += frame->bytes();
    recency.push_front(key);
    frames[key] = {std::move(frame), recency.begin()};
    while (bytes > budget && recency.size() > 1) {
      auto last = frames.find(recency.back());
      bytes -= last->second.frame->bytes();
      frames.erase(last);
      recency.pop_back();
    }
  }
};

namespace {

// Frames decoded on the workers and not yet announced on the main loop. The
// workers hand them over under this lock, not through the main loop's queue
// alone, so that what a worker wrote is published to the main thread by a
// lock both sides hold. Never destroyed: a worker may still be decoding when
// the process ends.
struct Announcements {
  std::mutex mutex;
  std::vector<std::pair<std::weak_ptr<FrameCache::State>, FrameKey>> waiting;
};

Announcements &announcements() {
  static Announcements *waiting = new Announcements;
  return *waiting;
}

// Main loop.
gboolean announceDecoded(gpointer) {
  std::vector<std::pair<std::weak_ptr<FrameCache::State>, FrameKey>> decoded;
  {
    std::lock_guard<std::mutex> hold(announcements().mutex);
    decoded.swap(announcements().waiting);
  }
  for (const auto &[weak, key] : decoded) {
    auto state = weak.lock();
    if (!state) continue;
    std::function<void(const FrameKey &)> callback;
    {
      std::lock_guard<std::mutex> hold(state->mutex);
      if (!state->alive) continue;
      callback = state->decoded;
    }
    if (callback) callback(key);
  }
  return G_SOURCE_REMOVE;
}

// Worker thread.
void announceLater(const std::weak_ptr<FrameCache::State> &state, const FrameKey &key) {
  bool first = false;
  {
    std::lock_guard<std::mutex> hold(announcements().mutex);
    announcements().waiting.emplace_back(state, key);
    first = announcements().waiting.size() == 1;
  }
  if (first) g_idle_add(announceDecoded, nullptr);
}

}  // namespace

FrameCache::FrameCache(size_t byteBudget) : state_(std::make_shared<State>(byteBudget)) {}

FrameCache::~FrameCache() {
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->alive = false;
  state_->wanted.clear();
}

SharedFrame FrameCache::find(const FrameKey &key) {
  std::lock_guard<std::mutex> hold(state_->mutex);
  return state_->touch(key);
}

SharedFrame FrameCache::decode(const FrameKey &key) {
  if (SharedFrame frame = find(key)) return frame;
  auto frame = std::make_shared<const DecodedFrame>(decodeImageFrame(key.path, key.frame));
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->keep(key, frame);
  return frame;
}

void FrameCache::want(const std::vector<FrameKey> &keys) {
  std::vector<FrameKey> toQueue;
  {
    std::lock_guard<std::mutex> hold(state_->mutex);
    State &s = *state_;
    s.wanted.clear();
    // A frame is not known in size before it is decoded: the frames held
    // stand for the rest, and what would not fit is not asked for.
    const size_t frameBytes = s.frames.empty() ? 0 : s.bytes / s.frames.size();
    size_t planned = 0;
    for (const FrameKey &key : keys) {
      if (frameBytes > 0 && planned + frameBytes > s.budget) break;
      planned += frameBytes;
      s.wanted.insert(key);
      if (s.frames.count(key) == 0 && s.queued.insert(key).second) toQueue.push_back(key);
    }
  }
  for (const FrameKey &key : toQueue)
    WorkerPool::shared().post([weak = std::weak_ptr<State>(state_), key] {
      auto state = weak.lock();
      if (!state) return;
      {
        std::lock_guard<std::mutex> hold(state->mutex);
        if (state->wanted.count(key) == 0 || state->frames.count(key) != 0) {
          state->queued.erase(key);
          state->idle.notify_all();
          return;
        }
        ++state->running;
      }
      auto frame = std::make_shared<const DecodedFrame>(decodeImageFrame(key.path, key.frame));
      bool announce = false;
      {
        std::lock_guard<std::mutex> hold(state->mutex);
        state->keep(key, frame);
        state->queued.erase(key);
        --state->running;
        announce = state->alive && state->decoded != nullptr;
        state->idle.notify_all();
      }
      if (announce) announceLater(weak, key);
    });
}

void FrameCache::onDecoded(std::function<void(const FrameKey &)> callback) {
  std::lock_guard<std::mutex> hold(state_->mutex);
  state_->decoded = std::move(callback);
}

size_t FrameCache::bytes() const {
  std::lock_guard<std::mutex> hold(state_->mutex);
  return state_->bytes;
}

void FrameCache::waitUntilIdle() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->idle.wait(lock, [this] { return state_->queued.empty() && state_->running == 0; });
}
