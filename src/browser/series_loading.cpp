// Loading a series folder of REFIMG into thumbnails under its series branch.
// Main thread only; pending toolkit events run between two entries.
#include "browser/series_loading.h"

#include "catalogue/medium_relative_path.h"
#include "platform/platform.h"

#include "base/medium_links.h"
#include "base/quit_request.h"
#include "base/trace.h"
#include "browser/full_pictures.h"
#include "browser/load_progress.h"
#include "browser/thumbnail_handlers.h"
#include "browser/thumbnail_index.h"
#include "catalogue/directory_listing.h"
#include "catalogue/reference_catalogue.h"
#include "catalogue/worker_pool.h"

#include <algorithm>
#include <future>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace fs = boost::filesystem;

namespace {

const int kThumbnailLevel = 2;
const int kThumbnailSize = 128;

// The name in double quotes, with '"' and '&' escaped by '&', as the trace shows
// file names.
std::string quotedName(const std::string &name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"' || c == '&') quoted += '&';
    quoted += c;
  }
  return quoted + "\"";
}

void connectThumbnailHandlers(GtkWidget *image) {
  GtkWidget *frame = gtk_widget_get_parent(image);
  g_signal_connect_swapped(frame, "enter_notify_event", G_CALLBACK(onThumbnailEnter), image);
  g_signal_connect_swapped(frame, "leave_notify_event", G_CALLBACK(onThumbnailLeave), image);
  g_signal_connect_swapped(frame, "button_press_event", G_CALLBACK(onThumbnailPressed), image);
}

// The series' pictures decoded on the worker pool a few entries ahead of the
// entry being shown, so that both cores work while the main thread builds the
// thumbnails in order. Only files whose relative path is not "small" are
// decoded; whatever the main thread finds when it reaches the entry decides.
class ThumbnailDecoding {
 public:
  ThumbnailDecoding(const std::vector<fs::path> &entries, const std::string &mediumRoot)
      : entries_(entries), mediumRoot_(mediumRoot), pending_(entries.size()) {}

  // Starts the decoding of the entries up to a few past `index`.
  void startUpTo(size_t index) {
    prepareDecodingThreads();
    size_t ahead = std::min(entries_.size(), index + 2 * WorkerPool::shared().size() + 1);
    for (; started_ < ahead; ++started_) {
      std::string relative;
      try {
        relative = relativePicturePath(entries_[started_], mediumRoot_);
      } catch (const std::exception &) {
        continue;  // traced when the entry is reached
      }
      if (isSmallPicture(relative)) continue;
      pending_[started_] = WorkerPool::shared().submit(
          [relative] { return decodePictureFile(relative, kThumbnailSize, kThumbnailSize); });
    }
  }

  // The decoded picture of entry `index`, waiting for it if need be.
  DecodedPicture result(size_t index) {
    startUpTo(index);
    if (!pending_[index].valid())
      return decodePictureFile(relativePicturePath(entries_[index], mediumRoot_), kThumbnailSize,
                               kThumbnailSize);
    return pending_[index].get();
  }

 private:
  const std::vector<fs::path> &entries_;
  const std::string &mediumRoot_;
  std::vector<std::future<DecodedPicture>> pending_;
  size_t started_ = 0;
};

}  // namespace

std::string relativePicturePath(const fs::path &file, const std::string &mediumRoot) {
  std::string written = file.parent_path().string() + "/" + file.filename().string();
  std::optional<std::string> relative = pathFromMediumFolder(written, "REFIMG", mediumRoot);
  if (!relative) throw std::out_of_range("brak REFIMG w ścieżce " + written);
  return *relative;
}

bool isSmallPicture(const std::string &relativePath) {
  return relativePath.find("small") != std::string::npos;
}

std::vector<GtkWidget *> loadSeriesImages(BranchTree &tree, int studyIndex, int seriesIndex,
                                          const fs::path &seriesDir) {
  std::vector<GtkWidget *> images;
  const std::string resolvedRoot = resolvedMediumRoot();
  struct stat status;
  // A series folder off the medium (a link to elsewhere) is not entered.
  if (examineListedEntry(seriesDir.string(), resolvedRoot, status) != ListedKind::directory) return images;

  std::vector<fs::path> entries;
  bool listed = listSortedDirectory(seriesDir, entries);
  const std::string mediumRoot = platform::currentDirectory();
  ThumbnailDecoding decoding(entries, mediumRoot);
  for (size_t index = 0; index < entries.size(); ++index) {
    const fs::path &entry = entries[index];
    try {
      ListedKind kind = examineListedEntry(entry.string(), resolvedRoot, status);
      // Listed a moment ago and gone now: the disc was taken out or fails.
      if (kind == ListedKind::unreadable) listed = false;
      if (!listed) break;
      decoding.startUpTo(index);
      if (kind == ListedKind::regularFile) {
        GtkWidget *study = childBranch(tree, nullptr, studyIndex);
        GtkWidget *series = study != nullptr ? childBranch(tree, study, seriesIndex) : nullptr;
        if (series != nullptr) {
          GtkWidget *container = childrenContainer(series);
          std::string relative = relativePicturePath(entry, mediumRoot);
          if (!isSmallPicture(relative)) {
            GtkWidget *branch = makeImageBranch(kThumbnailLevel, kThumbnailSize, kThumbnailSize, relative,
                                                decoding.result(index));
            if (branch == nullptr) {
              trace("return empty images");
              mediumReadable = false;
              return {};
            }
            GtkWidget *image = branchWidget(branch);
            connectThumbnailHandlers(image);
            attachBranch(tree, branch, container);
            images.push_back(image);
          }
        }
      }
      advanceLoadProgress();
      // The program is ending: the build ends here, like one on a failing medium.
      if (quitRequested()) listed = false;
    } catch (const std::exception &failure) {
      trace("wyjatek" + quotedName(entry.filename().string()) + " " + failure.what());
    } catch (...) {
      trace("Inny wyjątek");
    }
  }
  if (!listed) {
    trace("return empty images");
    mediumReadable = false;
    return {};
  }
  return images;
}

GtkWidget *makeImageBranch(int level, int width, int height, const std::string &path) {
  return makeImageBranch(level, width, height, path, decodePictureFile(path, width, height));
}

GtkWidget *makeImageBranch(int level, int width, int height, const std::string &path,
                           DecodedPicture decoded) {
  std::unique_ptr<FullPictureSource> source;
  if (decoded.pixels) {
    source = std::make_unique<FullPictureSource>();
    source->path = path;
    source->width = decoded.fullWidth;
    source->height = decoded.fullHeight;
  } else if (decoded.failure == PictureFailure::outOfMemory) {
    // Said as such: the warning that follows blames the disc.
    g_printerr("%s: brak pamięci na obraz\n", path.c_str());
    trace("brak pamięci na obraz " + path);
  } else {
    g_printerr("%s\n", decoded.message.c_str());
  }
  std::ostringstream address;
  address << static_cast<const void *>(source.get());
  trace("orig_pixbuf = " + address.str());
  if (!source) return nullptr;

  PixbufPtr scaled;
  if (gdk_pixbuf_get_width(decoded.pixels.get()) == width &&
      gdk_pixbuf_get_height(decoded.pixels.get()) == height)
    scaled = std::move(decoded.pixels);
  else
    scaled.reset(gdk_pixbuf_scale_simple(decoded.pixels.get(), width, height, GDK_INTERP_BILINEAR));
  if (!scaled) {
    g_printerr("%s: brak pamięci na obraz\n", path.c_str());
    trace("brak pamięci na obraz " + path);
    return nullptr;
  }
  GtkWidget *image = gtk_image_new_from_pixbuf(scaled.get());
  // Owned by the image, so the source goes with the tree when a failed build's
  // tree is dropped.
  attachFullPictureSource(image, std::move(source));
  return newBranch(image, level);
}
