// The thumbnails' pixels, least recently drawn first out of the budget.
#include "browser/thumbnail_pixels.h"

#include "browser/full_pictures.h"
#include "browser/unreadable_picture.h"
#include "catalogue/picture_decoder.h"

#include <list>
#include <unordered_map>

namespace {

constexpr int kSide = 128;

struct Held {
  std::list<GtkWidget *>::iterator age;
  size_t bytes;
};

// The pixels the thumbnails hold within their budget.
struct ThumbnailPixels {
  size_t budget = kDefaultThumbnailPixelBudget;
  size_t heldBytes = 0;
  // Most recently drawn first.
  std::list<GtkWidget *> drawn;
  std::unordered_map<GtkWidget *, Held> holding;
};
// Process-wide: the thumbnails' expose callbacks reach it without data.
ThumbnailPixels held;

size_t bytesOf(GdkPixbuf *pixels) { return pixels != nullptr ? gdk_pixbuf_get_byte_length(pixels) : 0; }

void forget(GtkWidget *image) {
  auto found = held.holding.find(image);
  if (found == held.holding.end()) return;
  held.heldBytes -= found->second.bytes;
  held.drawn.erase(found->second.age);
  held.holding.erase(found);
}

void giveUpBeyondBudget(GtkWidget *spared) {
  while (held.heldBytes > held.budget && !held.drawn.empty()) {
    GtkWidget *oldest = held.drawn.back();
    if (oldest == spared) break;
    forget(oldest);
    gtk_image_set_from_pixbuf(GTK_IMAGE(oldest), blankThumbnail());
  }
}

void hold(GtkWidget *image) {
  auto found = held.holding.find(image);
  if (found != held.holding.end()) {
    held.drawn.erase(found->second.age);
    held.drawn.push_front(image);
    found->second.age = held.drawn.begin();
    return;
  }
  size_t bytes = bytesOf(gtk_image_get_pixbuf(GTK_IMAGE(image)));
  held.drawn.push_front(image);
  held.holding.emplace(image, Held{held.drawn.begin(), bytes});
  held.heldBytes += bytes;
  giveUpBeyondBudget(image);
}

// The thumbnail's own pixels again, from its picture on the disc; the
// unreadable picture's placeholder when it cannot be decoded any more.
void decodeAgain(GtkWidget *image) {
  const FullPictureSource *source = fullPictureSourceOf(image);
  if (source == nullptr) return;
  DecodedPicture decoded = decodePictureFile(source->path, kSide, kSide);
  PixbufPtr scaled;
  if (decoded.pixels)
    scaled.reset(gdk_pixbuf_scale_simple(decoded.pixels.get(), kSide, kSide, GDK_INTERP_BILINEAR));
  if (!scaled) {
    gtk_image_set_from_pixbuf(GTK_IMAGE(image), unreadablePicture());
    return;
  }
  gtk_image_set_from_pixbuf(GTK_IMAGE(image), scaled.get());
  hold(image);
}

// Before the frame and the picture in it are held.drawn.
gboolean onFrameExposed(GtkWidget *, GdkEventExpose *, gpointer data) {
  auto *image = static_cast<GtkWidget *>(data);
  if (gtk_image_get_pixbuf(GTK_IMAGE(image)) == blankThumbnail())
    decodeAgain(image);
  else if (held.holding.count(image) != 0)
    hold(image);
  return FALSE;
}

void onImageDestroyed(GtkWidget *image, gpointer) { forget(image); }

}  // namespace

void setThumbnailPixelBudget(size_t bytes) {
  held.budget = bytes;
  giveUpBeyondBudget(nullptr);
}

void keepThumbnailPixels(GtkWidget *image) {
  g_signal_connect(gtk_widget_get_parent(image), "expose-event", G_CALLBACK(onFrameExposed), image);
  g_signal_connect(image, "destroy", G_CALLBACK(onImageDestroyed), nullptr);
  hold(image);
}

size_t thumbnailPixelBytes() { return held.heldBytes; }

size_t thumbnailsWithPixels() { return held.holding.size(); }

GdkPixbuf *blankThumbnail() {
  static GdkPixbuf *blank = [] {
    GdkPixbuf *pixels = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, kSide, kSide);
    if (pixels != nullptr) gdk_pixbuf_fill(pixels, 0x000000ff);
    return pixels;
  }();
  return blank;
}
