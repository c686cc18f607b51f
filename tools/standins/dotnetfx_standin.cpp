// Stand-in for the .NET Framework 2.0 installer on the medium: registers the
// runtime's key in the navigator's registry emulation, quietly with /Q,
// otherwise after asking, and exits.
#include "platform/posix/registry_emulation.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

namespace {

// The key the navigator tests for the runtime, as the registry emulation keeps it.
bool registerRuntime() {
  std::string key = platform::registryKeyDirectory(platform::RegistryRoot::LocalMachine,
                                                   "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727");
  if (key.empty() || g_mkdir_with_parents(key.c_str(), 0700) != 0) {
    std::fprintf(stderr, "dotnetfx: cannot create %s\n", key.c_str());
    return false;
  }
  return true;
}

// Windows installers take their switches in either case.
bool quietRequested(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    if (g_ascii_strcasecmp(argv[i], "/Q") == 0) return true;
  return false;
}

bool userAgrees() {
  GtkWidget *dialog =
      gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO,
                             "Zainstalować środowisko .NET Framework 2.0?");
  gtk_window_set_title(GTK_WINDOW(dialog), "Instalator .NET Framework 2.0");
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return response == GTK_RESPONSE_YES;
}

}  // namespace

int main(int argc, char **argv) {
  if (quietRequested(argc, argv)) return registerRuntime() ? 0 : 1;
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "dotnetfx: no display; run with /Q for a quiet installation\n");
    return 1;
  }
  if (!userAgrees()) return 0;
  return registerRuntime() ? 0 : 1;
}
