// A medium with report pictures, its working directory and the recording
// desktop fake, for the tests of the descriptions tile, chooser and opening.
#pragma once

#include "base/tmp_directory.h"
#include "catalogue/reference_catalogue.h"
#include "descriptions/description_chooser.h"
#include "descriptions/description_list.h"
#include "descriptions/description_opening.h"
#include "descriptions/descriptions_tile.h"
#include "ui/ui_state.h"

#include "base/medium_root.h"
#include "fakes/fake_desktop.h"
#include "support/gui.h"
#include "support/scoped_medium.h"
#include "ui/palette.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

class DescriptionsTest : public testing::Test {
 protected:
  void SetUp() override {
    fakedesktop::reset();
    int width = 20;
    for (const char *name : {"opis_n.jpg", "opis_a.jpg", "html2.png", "pdf2.png", "get_adobe_reader.png"})
      medium_.writePicture(std::string("img/") + name, width++, 20);
    currentPath = medium_.root() + "/";
    parsePalette();
  }

  void TearDown() override {
    if (tileWindow_) gtk_widget_destroy(tileWindow_);
    tileWindow_ = nullptr;
    for (GtkWidget *dialog : warnings()) gtk_widget_destroy(dialog);
    if (descriptionChooserWindow) gtk_widget_destroy(descriptionChooserWindow);
    if (pdfReaderPromptWindow) gtk_widget_destroy(pdfReaderPromptWindow);
    // Closing the prompt or a warning opens the report in the reader.
    for (GtkWidget *reader : toplevelsNamed("CzytnikOpisu")) gtk_widget_destroy(reader);
    if (mainWindow) gtk_widget_destroy(mainWindow);
    mainWindow = nullptr;
    drainEvents();
    removeTmpDirectory();
    fakedesktop::reset();
    descriptionList.clear();
    DicomFileIndex.clear();
    StudyMetadataIndex.clear();
    referenceBrowserBusy = false;
    currentPath.clear();
  }

  // Creates the working directory from the medium as written so far.
  void startRun() {
    testing::internal::CaptureStdout();
    createTmpDirectory();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(tmpDirectoryUsable());
  }

  // Starts the run with `list` as the medium's list file and builds the
  // descriptions tile into a shown row; returns the tile or null.
  GtkWidget *buildTile(const std::string &list) {
    medium_.writeFile("descrlist.js", list);
    startRun();
    tileWindow_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget *row = gtk_hbox_new(FALSE, 10);
    gtk_container_add(GTK_CONTAINER(tileWindow_), row);
    buildDescriptionsTile(row);
    // Away from the pointer, which tests running beside this one share: a
    // tile shown under it would get a real pointer-enter.
    gint x = 0, y = 0;
    gdk_display_get_pointer(gdk_display_get_default(), nullptr, &x, &y, nullptr);
    gtk_window_move(GTK_WINDOW(tileWindow_), x > 400 ? 0 : x + 40, y > 400 ? 0 : y + 40);
    gtk_widget_show_all(tileWindow_);
    drainEvents();
    std::vector<GtkWidget *> tiles = childrenOf(row);
    return tiles.empty() ? nullptr : tiles.front();
  }

  static std::vector<GtkWidget *> toplevelsNamed(const std::string &name) {
    std::vector<GtkWidget *> found;
    for (GtkWidget *window : topLevelWindows())
      if (name == gtk_widget_get_name(window)) found.push_back(window);
    return found;
  }

  // The warning dialogs "Opis badania" that are open, oldest first.
  static std::vector<GtkWidget *> warnings() {
    std::vector<GtkWidget *> found;
    for (GtkWidget *window : messageDialogsTitled("Opis badania"))
      if (gtk_widget_get_visible(window)) found.push_back(window);
    return found;
  }

  static std::string warningText(GtkWidget *dialog) {
    gchar *text = nullptr;
    g_object_get(dialog, "text", &text, nullptr);
    std::string result = text ? text : "";
    g_free(text);
    return result;
  }

  static std::string tooltipOf(GtkWidget *widget) {
    gchar *text = gtk_widget_get_tooltip_text(widget);
    std::string result = text ? text : "";
    g_free(text);
    return result;
  }

  static std::vector<fakedesktop::ShellCall> shellCalls() { return fakedesktop::Access()->shellCalls; }

  static void registerPdfReader() {
    fakedesktop::Access()->registryKeys.insert(
        fakedesktop::registryName(platform::RegistryRoot::CurrentUser, "SOFTWARE\\Adobe\\Acrobat Reader"));
  }

  ScopedMedium medium_;
  // The window holding the descriptions tile, when a test built one.
  GtkWidget *tileWindow_ = nullptr;
};

}  // namespace testsupport
