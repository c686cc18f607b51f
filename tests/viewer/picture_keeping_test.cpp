// Keeping the picture under Xvfb: "Zapisz obraz" into a chosen folder (and its
// refusals), the clipboard, and "Drukuj" into a PDF that is read back.
#include "imaging/dicom_decoders.h"
#include "platform/glib_owners.h"
#include "support/file_permissions.h"
#include "support/gui.h"
#include "support/scratch_folder.h"
#include "support/viewer_images.h"
#include "viewer/viewer_window.h"

#include <gdk/gdkkeysyms.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <poppler.h>
#include <sys/stat.h>

#include <algorithm>

using namespace testsupport;

namespace {

std::vector<std::string> filesIn(const std::string &folder) {
  std::vector<std::string> names;
  UniqueDir dir(g_dir_open(folder.c_str(), 0, nullptr));
  while (const char *name = dir ? g_dir_read_name(dir.get()) : nullptr) names.push_back(name);
  return names;
}

std::string shownMessage() {
  GtkWidget *message = findShownToplevel("ViewerMessage");
  if (message == nullptr) return "";
  GValue text = G_VALUE_INIT;
  g_value_init(&text, G_TYPE_STRING);
  g_object_get_property(G_OBJECT(message), "text", &text);
  std::string result = g_value_get_string(&text);
  g_value_unset(&text);
  gtk_widget_destroy(message);
  return result;
}

}  // namespace

TEST(PictureKeeping, SavedCopiedAndPrintedAsShown) {
  DicomImageDecoders decoders;
  ScratchFolder medium, scratch;
  TestImage image;
  image.side = 96;
  ASSERT_TRUE(writeTestImage(medium.path("IM1"), image));
  for (const char *folder : {"saved", "work", "locked"}) g_mkdir(scratch.path(folder).c_str(), 0755);
  GtkWidget *viewer = openViewerWindow(openExamination({medium.root()}));
  setRefusedSavingFolders(viewer, {medium.root()}, scratch.path("work"));
  ASSERT_TRUE(waitUntil([&] { return currentImageShown(viewer); }));

  ScopedPermissionChecks permissions;
  g_chmod(scratch.path("locked").c_str(), 0555);
  struct Case {
    std::string folder;
    std::string message;  // empty: saved
  };
  const Case cases[] = {
      {scratch.path("saved"), ""},
      {scratch.path("saved"), ""},  // a second picture beside the first, not over it
      {medium.root(), "leży na płycie, z której działa przeglądarka"},
      {scratch.path("work"), "to folder roboczy przeglądarki"},
      {scratch.path("locked"), "Nie można zapisać obrazu w folderze „" + scratch.path("locked") + "”"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.folder);
    const size_t before = filesIn(c.folder).size();
    sendKey(viewer, GDK_s, GDK_CONTROL_MASK);
    ASSERT_TRUE(waitUntil([] { return findShownToplevel("SavePictureDialog") != nullptr; }));
    GtkWidget *dialog = findShownToplevel("SavePictureDialog");
    // The folder typed over the one offered.
    GtkWidget *folder = findWidget(dialog, "SaveFolder");
    gtk_editable_select_region(GTK_EDITABLE(folder), 0, -1);
    for (char ch : c.folder) sendKey(dialog, gdk_unicode_to_keyval(static_cast<unsigned char>(ch)));
    ASSERT_EQ(gtk_entry_get_text(GTK_ENTRY(folder)), c.folder);
    clickButton(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT));
    if (c.message.empty()) {
      ASSERT_TRUE(waitUntil([&] { return filesIn(c.folder).size() == before + 1; }));
      EXPECT_EQ(shownMessage(), "");
    } else {
      ASSERT_TRUE(waitUntil([] { return findShownToplevel("ViewerMessage") != nullptr; }));
      EXPECT_NE(shownMessage().find(c.message), std::string::npos);
      EXPECT_EQ(filesIn(c.folder).size(), before);
      if (GtkWidget *open = findShownToplevel("SavePictureDialog")) gtk_widget_destroy(open);
    }
  }
  std::vector<std::string> saved = filesIn(scratch.path("saved"));
  std::sort(saved.begin(), saved.end());
  EXPECT_EQ(saved, (std::vector<std::string>{"obraz-0-1-2.png", "obraz-0-1.png"}));
  for (const std::string &name : saved) {
    UniqueObject<GdkPixbuf> picture(gdk_pixbuf_new_from_file(scratch.path("saved/" + name).c_str(), nullptr));
    ASSERT_TRUE(picture) << name;
    EXPECT_EQ(gdk_pixbuf_get_width(picture.get()), 96);
  }

  sendKey(viewer, GDK_c, GDK_CONTROL_MASK);
  UniqueObject<GdkPixbuf> copied(gtk_clipboard_wait_for_image(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD)));
  ASSERT_TRUE(copied);
  EXPECT_EQ(gdk_pixbuf_get_height(copied.get()), 96);

  // The printed page holds the picture at its own resolution.
  const std::string pdf = scratch.path("printed.pdf");
  ASSERT_TRUE(printShownPictureTo(viewer, pdf));
  UniqueString uri(g_filename_to_uri(pdf.c_str(), nullptr, nullptr));
  UniqueObject<PopplerDocument> document(poppler_document_new_from_file(uri.get(), nullptr, nullptr));
  ASSERT_TRUE(document);
  ASSERT_EQ(poppler_document_get_n_pages(document.get()), 1);
  UniqueObject<PopplerPage> page(poppler_document_get_page(document.get(), 0));
  GList *images = poppler_page_get_image_mapping(page.get());
  ASSERT_EQ(g_list_length(images), 1u);
  cairo_surface_t *printed =
      poppler_page_get_image(page.get(), static_cast<PopplerImageMapping *>(images->data)->image_id);
  poppler_page_free_image_mapping(images);
  ASSERT_NE(printed, nullptr);
  EXPECT_EQ(cairo_image_surface_get_width(printed), 96);
  cairo_surface_destroy(printed);
  gtk_widget_destroy(viewer);
}
