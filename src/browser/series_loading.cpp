// Loading a series folder of REFIMG into thumbnails under its series branch.
// Main thread only; pending toolkit events run between two entries.
#include "browser/series_loading.h"

#include "base/medium_links.h"
#include "base/quit_request.h"
#include "base/trace.h"
#include "browser/full_pictures.h"
#include "browser/load_progress.h"
#include "browser/thumbnail_handlers.h"
#include "browser/thumbnail_index.h"
#include "browser/thumbnail_pixels.h"
#include "browser/unreadable_picture.h"
#include "catalogue/directory_listing.h"
#include "catalogue/medium_failure.h"
#include "catalogue/medium_relative_path.h"
#include "catalogue/picture_signature.h"
#include "catalogue/reference_catalogue.h"
#include "catalogue/worker_pool.h"
#include "platform/directories.h"
#include "platform/glib_owners.h"
#include "platform/platform.h"

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
// thumbnails in order. Only regular files on the medium (a link is examined
// first, and one that leaves the medium is never opened) whose relative path
// is not "small" are decoded; whatever the main thread finds when it reaches
// the entry decides.
class ThumbnailDecoding {
 public:
  ThumbnailDecoding(const std::vector<fs::path> &entries, const std::string &mediumRoot,
                    const std::string &resolvedRoot)
      : entries_(entries), mediumRoot_(mediumRoot), resolvedRoot_(resolvedRoot), pending_(entries.size()) {
    prepareDecodingThreads();
  }

  // Starts the decoding of the entries up to a few past `index`.
  void startUpTo(size_t index) {
    size_t ahead = std::min(entries_.size(), index + 2 * WorkerPool::shared().size() + 1);
    for (; started_ < ahead; ++started_) {
      platform::EntryStatus status;
      if (examineListedEntry(entries_[started_].string(), resolvedRoot_, status) != ListedKind::regularFile)
        continue;
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
  // Only for an entry the main thread has just found to be a regular file on
  // the medium.
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
  const std::string &resolvedRoot_;
  std::vector<std::future<DecodedPicture>> pending_;
  size_t started_ = 0;
};

// The load ends at once with nothing: the medium fails, or the build must end.
std::vector<GtkWidget *> endedEmpty() {
  trace("return empty images");
  mediumReadable = false;
  return {};
}

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
  platform::EntryStatus status;
  // A series folder off the medium (a link to elsewhere) is not entered.
  if (examineListedEntry(seriesDir.string(), resolvedMediumRoot(), status) != ListedKind::directory)
    return {};
  std::vector<fs::path> entries;
  int error = 0;
  if (!listSortedDirectory(seriesDir, entries, &error)) {
    if (mediumFailsAfter(error)) return endedEmpty();
    reportSkippedEntry(seriesDir.string(), platform::errorText(error));
    return {};
  }
  return loadListedSeries(tree, studyIndex, seriesIndex, entries);
}

std::vector<GtkWidget *> loadListedSeries(BranchTree &tree, int studyIndex, int seriesIndex,
                                          const std::vector<fs::path> &entries) {
  std::vector<GtkWidget *> images;
  const std::string resolvedRoot = resolvedMediumRoot();
  const std::string mediumRoot = platform::currentDirectory();
  ThumbnailDecoding decoding(entries, mediumRoot, resolvedRoot);
  platform::EntryStatus status;
  for (size_t index = 0; index < entries.size(); ++index) {
    const fs::path &entry = entries[index];
    try {
      int error = 0;
      ListedKind kind = examineListedEntry(entry.string(), resolvedRoot, status, &error);
      if (kind == ListedKind::unreadable) {
        // Listed a moment ago and not there now: one file gone, or the whole disc.
        if (mediumFailsAfter(error)) return endedEmpty();
        reportSkippedEntry(entry.string(), platform::errorText(error));
      } else if (kind == ListedKind::regularFile) {
        decoding.startUpTo(index);
        GtkWidget *study = childBranch(tree, nullptr, studyIndex);
        GtkWidget *series = study != nullptr ? childBranch(tree, study, seriesIndex) : nullptr;
        if (series != nullptr) {
          GtkWidget *container = childrenContainer(series);
          std::string relative = relativePicturePath(entry, mediumRoot);
          if (!isSmallPicture(relative)) {
            PictureSignatureRead signature = readPictureSignature(relative);
            if (signature.error != 0) {
              if (mediumFailsAfter(signature.error)) return endedEmpty();
              reportSkippedEntry(relative, platform::errorText(signature.error));
            } else if (signature.kind == PictureKind::None) {
              // What desktops leave in folders burnt to disc (Thumbs.db,
              // desktop.ini, .DS_Store, empty files) is no picture at all.
              reportSkippedEntry(relative, pictureKindName(signature.kind));
            } else {
              DecodedPicture decoded = decoding.result(index);
              // A file that could be read a moment ago and not now: the disc
              // may have gone. Any other picture that cannot be decoded stands
              // in the series as a placeholder.
              if (!decoded.pixels && decoded.failure == PictureFailure::unreadable &&
                  !mediumStillListable()) {
                g_printerr("%s\n", decoded.message.c_str());
                trace("orig_pixbuf = 0");
                return endedEmpty();
              }
              // Decoded, but without memory for its thumbnail, it is a placeholder too.
              std::string why = decoded.pixels ? relative + ": brak pamięci na obraz" : decoded.message;
              GtkWidget *branch = nullptr;
              if (decoded.pixels)
                branch = makeImageBranch(kThumbnailLevel, kThumbnailSize, kThumbnailSize, relative,
                                         std::move(decoded));
              if (branch == nullptr) branch = makePlaceholderBranch(kThumbnailLevel, relative, why);
              GtkWidget *image = branchWidget(branch);
              connectThumbnailHandlers(image);
              attachBranch(tree, branch, container);
              images.push_back(image);
            }
          }
        }
      }
      if (!advanceLoadProgress()) return endedEmpty();
    } catch (const std::exception &failure) {
      trace("wyjatek" + quotedName(entry.filename().string()) + " " + failure.what());
    } catch (...) {
      trace("Inny wyjątek");
    }
  }
  return images;
}

GtkWidget *makePlaceholderBranch(int level, const std::string &path, const std::string &why) {
  trace("orig_pixbuf = 0");
  std::string line = "nie można odczytać obrazu: " + why;
  trace(line);
  g_printerr("%s\n", line.c_str());
  GtkWidget *image = gtk_image_new_from_pixbuf(unreadablePicture());
  auto source = std::make_unique<FullPictureSource>();
  source->path = path;
  source->unreadable = true;
  attachFullPictureSource(image, std::move(source));
  return newBranch(image, level);
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
  GtkWidget *branch = newBranch(image, level);
  keepThumbnailPixels(image);
  return branch;
}
