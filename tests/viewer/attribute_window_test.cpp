// The attribute window under Xvfb: opened from the viewer by its button and
// by its key, it lists the image's attributes and the search keeps the rows
// typed for.
#include "imaging/dicom_decoders.h"
#include "support/gui.h"
#include "support/scratch_folder.h"
#include "support/viewer_images.h"
#include "viewer/viewer_window.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <functional>

using namespace testsupport;

namespace {

// The top-level rows of the tree: tag and value.
std::vector<std::pair<std::string, std::string>> topRows(GtkWidget *tree) {
  std::vector<std::pair<std::string, std::string>> rows;
  GtkTreeModel *model = gtk_tree_view_get_model(GTK_TREE_VIEW(tree));
  GtkTreeIter row;
  for (gboolean more = gtk_tree_model_get_iter_first(model, &row); more;
       more = gtk_tree_model_iter_next(model, &row)) {
    gchar *tag = nullptr, *value = nullptr;
    gtk_tree_model_get(model, &row, 0, &tag, 3, &value, -1);
    rows.emplace_back(tag, value);
    g_free(tag);
    g_free(value);
  }
  return rows;
}

}  // namespace

TEST(AttributeWindow, OpensFromTheViewerAndSearches) {
  DicomImageDecoders decoders;
  ScratchFolder medium;
  ASSERT_TRUE(writeTestImage(medium.path("IM1"), TestImage()));
  GtkWidget *viewer = openViewerWindow(openExamination({medium.root()}));
  ASSERT_TRUE(waitUntil([&] { return currentImageShown(viewer); }));
  const std::function<void()> openings[] = {
      [&] { clickButton(findWidget(viewer, "BtnAttributes")); },
      [&] { sendKey(viewer, GDK_a); },
  };
  for (const auto &open : openings) {
    open();
    ASSERT_TRUE(waitUntil([] { return findShownToplevel("AttributeWindow") != nullptr; }));
    GtkWidget *window = findShownToplevel("AttributeWindow");
    GtkWidget *tree = findWidget(window, "AttributeTree");
    const auto all = topRows(tree);
    EXPECT_GT(all.size(), 20u);
    EXPECT_NE(std::find(all.begin(), all.end(),
                        std::make_pair(std::string("(0010,0010)"), std::string("Kowalski^Jan"))),
              all.end());
    for (guint key : {GDK_0, GDK_0, GDK_2, GDK_8, GDK_comma, GDK_0, GDK_0, GDK_1, GDK_0})
      sendKey(window, key);
    EXPECT_EQ(topRows(tree), (std::vector<std::pair<std::string, std::string>>{{"(0028,0010)", "64"}}));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(findWidget(window, "AttributeCount"))),
                 "Pasujących wierszy: 1");
    sendKey(window, GDK_Escape);
    EXPECT_TRUE(waitUntil([] { return findShownToplevel("AttributeWindow") == nullptr; }));
  }
  gtk_widget_destroy(viewer);
}
