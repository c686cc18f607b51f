// The one owner of decoded frames: a byte budget with least-recently-used
// release, and decoding ahead on the worker pool. Views ask it for a frame
// and never keep one beyond the picture they show.
#pragma once

#include "imaging/dicom_image_file.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct FrameKey {
  std::string path;
  long frame = 0;
  bool operator<(const FrameKey &other) const {
    return path != other.path ? path < other.path : frame < other.frame;
  }
  bool operator==(const FrameKey &other) const { return path == other.path && frame == other.frame; }
};

using SharedFrame = std::shared_ptr<const DecodedFrame>;

constexpr size_t kDefaultFrameCacheBytes = 512u << 20;

class FrameCache {
 public:
  explicit FrameCache(size_t byteBudget = kDefaultFrameCacheBytes);
  ~FrameCache();
  FrameCache(const FrameCache &) = delete;
  FrameCache &operator=(const FrameCache &) = delete;

  // The frame when it is decoded (it becomes the most recently used), else null.
  SharedFrame find(const FrameKey &key);
  // The frame, decoded on the calling thread when it is not yet.
  SharedFrame decode(const FrameKey &key);
  // The frames wanted next, the most urgent first: those not decoded are
  // decoded on the workers, as many as the budget holds; a frame asked for
  // before and no longer wanted is skipped when its turn comes.
  void want(const std::vector<FrameKey> &keys);
  // Runs on the main loop (an idle call of the default context) after a
  // wanted frame was decoded on a worker.
  void onDecoded(std::function<void(const FrameKey &)> callback);
  // Bytes of the frames held.
  size_t bytes() const;
  // Waits until no decoding asked for by want() is queued or running.
  void waitUntilIdle();

  // Shared with the jobs on the workers.
  struct State;

 private:
  std::shared_ptr<State> state_;
};
