// Loading a series folder of REFIMG into thumbnails under its series branch.
// Main thread only; pending toolkit events run between two entries.
#include "browser/series_loading.h"

#include "catalogue/medium_relative_path.h"
#include "platform/platform.h"

#include "base/medium_links.h"
#include "base/trace.h"
#include "browser/load_progress.h"
#include "browser/thumbnail_handlers.h"
#include "browser/thumbnail_index.h"
#include "catalogue/directory_listing.h"
#include "catalogue/reference_catalogue.h"

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
  for (const fs::path &entry : entries) {
    try {
      ListedKind kind = examineListedEntry(entry.string(), resolvedRoot, status);
      // Listed a moment ago and gone now: the disc was taken out or fails.
      if (kind == ListedKind::unreadable) listed = false;
      if (!listed) break;
      if (kind == ListedKind::regularFile) {
        GtkWidget *study = childBranch(tree, nullptr, studyIndex);
        GtkWidget *series = study != nullptr ? childBranch(tree, study, seriesIndex) : nullptr;
        if (series != nullptr) {
          GtkWidget *container = childrenContainer(series);
          std::string relative = relativePicturePath(entry, mediumRoot);
          if (!isSmallPicture(relative)) {
            GtkWidget *branch = makeImageBranch(kThumbnailLevel, kThumbnailSize, kThumbnailSize, relative);
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

bool pictureSizeWithinLimits(int width, int height) {
  return width <= kLargestPictureSide && height <= kLargestPictureSide &&
         static_cast<long long>(width) * height <= kLargestPicturePixels;
}

GtkWidget *makeImageBranch(int level, int width, int height, const std::string &path) {
  GError *rawError = nullptr;
  // The header is read first: it can declare any size, and the whole picture
  // would be decoded into memory and kept there.
  int declaredWidth = 0;
  int declaredHeight = 0;
  bool tooLarge = gdk_pixbuf_get_file_info(path.c_str(), &declaredWidth, &declaredHeight) != nullptr &&
                  !pictureSizeWithinLimits(declaredWidth, declaredHeight);
  if (tooLarge) g_printerr("%s: obraz %d x %d jest zbyt duży\n", path.c_str(), declaredWidth, declaredHeight);
  std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> original(
      tooLarge ? nullptr : gdk_pixbuf_new_from_file(path.c_str(), &rawError), g_object_unref);
  if (rawError != nullptr) {
    std::unique_ptr<GError, decltype(&g_error_free)> loadError(rawError, g_error_free);
    g_printerr("%s\n", loadError->message);
  }
  std::ostringstream address;
  address << static_cast<const void *>(original.get());
  trace("orig_pixbuf = " + address.str());
  if (!original) return nullptr;

  std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> scaled(
      gdk_pixbuf_scale_simple(original.get(), width, height, GDK_INTERP_BILINEAR), g_object_unref);
  GtkWidget *image = gtk_image_new_from_pixbuf(scaled.get());
  // Owned by the image, so the full-size picture goes with the tree when a
  // failed build's tree is dropped.
  g_object_set_data_full(G_OBJECT(image), "orig-pixbuf", original.release(), g_object_unref);
  return newBranch(image, level);
}
