// Full-size pictures kept by a plain id, bounded by bytes, least recently used
// first out, and decoded from their path on the worker pool when asked for.
// No widget in sight: the browser keys it by its thumbnails' ids, a viewer may
// key it by anything else. The owner's thread (the main thread) calls every
// member; workers only decode and hand the result back, waking the owner's
// main loop through the watch it gives, and the owner then calls takeDecoded.
#pragma once

#include "catalogue/picture_decoder.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class PictureCache {
 public:
  using Id = std::uint64_t;  // 0 is no picture

  // A picture to decode: its id and file (relative to the current directory).
  struct Wanted {
    Id id = 0;
    std::string path;
  };

  explicit PictureCache(size_t boundBytes);
  PictureCache(const PictureCache &) = delete;
  PictureCache &operator=(const PictureCache &) = delete;

  // The picture of `id` when held, counted as used; else null.
  PixbufPtr find(Id id);
  bool holds(Id id) const { return entries_.count(id) != 0; }
  // Counts a held picture as used, so that it is not the next to go.
  void touch(Id id);
  // Keeps `pixels` as the picture of `id`, then evicts beyond the bound.
  void keep(Id id, PixbufPtr pixels);
  // Drops the picture of `id`, and any request for it (its owner has gone).
  void forget(Id id);
  void forgetAll();

  // Never evicted, whatever the bound: the picture shown and the one
  // expected after it (0: none).
  void setShown(Id id) { shown_ = id; }
  void setNext(Id id) { next_ = id; }
  void setBound(size_t bytes);
  size_t bound() const { return bound_; }
  size_t bytes() const { return bytes_; }

  // Replaces what the workers are asked for by `wanted`, most wanted first;
  // what no worker has started on is dropped. Wakes `wakeupWatch` (see
  // platform::watchMainLoopWakeups) when a decoding ends.
  void ask(std::vector<Wanted> wanted, int wakeupWatch);
  // Moves the finished decodings into the cache. Returns whether any ended;
  // failures are traced and remembered until the same id decodes well.
  bool takeDecoded();
  bool failed(Id id) const { return failed_.count(id) != 0; }
  // Pictures asked for whose result has not been taken yet.
  int underWay() const;

 private:
  struct Entry {
    PixbufPtr pixels;
    size_t bytes = 0;
    std::list<Id>::iterator age;
  };
  struct Requests;

  void evictBeyondBound();

  std::map<Id, Entry> entries_;
  std::list<Id> ages_;  // most recently used first
  size_t bytes_ = 0;
  size_t bound_;
  Id shown_ = 0;
  Id next_ = 0;
  std::set<Id> failed_;
  // Shared with the jobs posted to the workers, which may outlive the cache.
  std::shared_ptr<Requests> requests_;
};
