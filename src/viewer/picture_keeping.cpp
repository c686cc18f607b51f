// Pictures go out only through the toolkit's own writers (gdk-pixbuf's PNG,
// the clipboard, GtkPrintOperation), which are the same on both systems.
#include "viewer/picture_keeping.h"

#include "platform/directories.h"
#include "platform/glib_owners.h"

#include <glib/gstdio.h>

#include <cmath>

namespace {

gboolean exists(const std::string &path) { return g_file_test(path.c_str(), G_FILE_TEST_EXISTS); }

void beginPrint(GtkPrintOperation *operation, GtkPrintContext *, gpointer) {
  gtk_print_operation_set_n_pages(operation, 1);
}

void drawPage(GtkPrintOperation *, GtkPrintContext *context, gint, gpointer data) {
  auto *picture = static_cast<GdkPixbuf *>(data);
  cairo_t *cairo = gtk_print_context_get_cairo_context(context);
  const double pageWidth = gtk_print_context_get_width(context),
               pageHeight = gtk_print_context_get_height(context);
  const double width = gdk_pixbuf_get_width(picture), height = gdk_pixbuf_get_height(picture);
  const double scale = std::min(pageWidth / width, pageHeight / height);
  cairo_translate(cairo, (pageWidth - width * scale) / 2, (pageHeight - height * scale) / 2);
  cairo_scale(cairo, scale, scale);
  gdk_cairo_set_source_pixbuf(cairo, picture, 0, 0);
  cairo_paint(cairo);
}

}  // namespace

std::string savingRefusal(const std::string &folder, const std::vector<std::string> &mediumFolders,
                          const std::string &workingDirectory) {
  const std::string resolved = platform::resolvedPath(folder);
  if (resolved.empty()) return "Folder „" + folder + "” nie istnieje. Wybierz istniejący folder.";
  for (const std::string &medium : mediumFolders)
    if (platform::resolvedPathWithin(resolved, platform::resolvedPath(medium)))
      return "Folder „" + folder +
             "” leży na płycie, z której działa przeglądarka. Wybierz folder na dysku komputera, np. "
             "Dokumenty.";
  if (!workingDirectory.empty() && resolved == platform::resolvedPath(workingDirectory))
    return "Folder „" + folder + "” to folder roboczy przeglądarki. Wybierz inny folder, np. Dokumenty.";
  return {};
}

std::string savePicture(GdkPixbuf *picture, const std::string &folder, const std::string &stem,
                        std::string &error) {
  std::string path = folder + G_DIR_SEPARATOR_S + stem + ".png";
  for (int number = 2; exists(path) && number < 10000; ++number)
    path = folder + G_DIR_SEPARATOR_S + stem + "-" + std::to_string(number) + ".png";
  const std::string partial = path + ".part";
  GError *raw = nullptr;
  const bool written = gdk_pixbuf_save(picture, partial.c_str(), "png", &raw, nullptr);
  UniqueError failure(raw);
  if (!written || exists(path) || g_rename(partial.c_str(), path.c_str()) != 0) {
    g_unlink(partial.c_str());
    error = "Nie można zapisać obrazu w folderze „" + folder +
            "”. Sprawdź, czy wolno w nim zapisywać i czy jest na nim miejsce.";
    return {};
  }
  return path;
}

void copyPicture(GdkPixbuf *picture) {
  gtk_clipboard_set_image(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), picture);
}

bool printPicture(GtkWindow *parent, GdkPixbuf *picture, const std::string &exportPdf, std::string &error) {
  // The printer and page chosen last are offered again.
  static GtkPrintSettings *settings = nullptr;
  UniqueObject<GtkPrintOperation> operation(gtk_print_operation_new());
  if (settings != nullptr) gtk_print_operation_set_print_settings(operation.get(), settings);
  gtk_print_operation_set_job_name(operation.get(), "Obraz diagnostyczny");
  g_signal_connect(operation.get(), "begin-print", G_CALLBACK(beginPrint), nullptr);
  g_signal_connect(operation.get(), "draw-page", G_CALLBACK(drawPage), picture);
  if (!exportPdf.empty()) gtk_print_operation_set_export_filename(operation.get(), exportPdf.c_str());
  GError *raw = nullptr;
  const GtkPrintOperationResult result = gtk_print_operation_run(
      operation.get(),
      exportPdf.empty() ? GTK_PRINT_OPERATION_ACTION_PRINT_DIALOG : GTK_PRINT_OPERATION_ACTION_EXPORT, parent,
      &raw);
  UniqueError failure(raw);
  if (result == GTK_PRINT_OPERATION_RESULT_ERROR) {
    error = "Nie udało się wydrukować obrazu. Sprawdź, czy drukarka jest włączona i podłączona.";
    return false;
  }
  if (result == GTK_PRINT_OPERATION_RESULT_APPLY) {
    if (settings != nullptr) g_object_unref(settings);
    settings = GTK_PRINT_SETTINGS(g_object_ref(gtk_print_operation_get_print_settings(operation.get())));
  }
  return true;
}
