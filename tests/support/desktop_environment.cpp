// A temporary desktop for GIO lookups and launches.
#include "support/desktop_environment.h"

#include <glib.h>
#include <boost/filesystem.hpp>

#include <fstream>
#include <stdexcept>

namespace testsupport {

namespace {
void writeText(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}
}  // namespace

DesktopEnvironment::DesktopEnvironment() {
  gchar *made = g_dir_make_tmp("desktop-XXXXXX", nullptr);
  if (made == nullptr) throw std::runtime_error("cannot create a desktop folder");
  root_ = made;
  g_free(made);
  for (const char *folder : {"/data/applications", "/config", "/system-data", "/system-config"})
    boost::filesystem::create_directories(root_ + folder);
  // The system's MIME database stays visible, so content types are still known.
  boost::system::error_code error;
  boost::filesystem::create_directory_symlink("/usr/share/mime", root_ + "/system-data/mime", error);
}

DesktopEnvironment::~DesktopEnvironment() {
  boost::system::error_code error;
  boost::filesystem::remove_all(root_, error);
}

void DesktopEnvironment::addDefaultHandler(const std::string &name, const std::string &command,
                                           const std::vector<std::string> &mimeTypes) {
  std::string types;
  for (const std::string &type : mimeTypes) {
    types += type + ";";
    defaults_ += type + "=" + name + ".desktop\n";
  }
  writeText(root_ + "/data/applications/" + name + ".desktop",
            "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + command + "\nMimeType=" + types +
                "\nNoDisplay=true\n");
  std::string list = "[Default Applications]\n" + defaults_;
  writeText(root_ + "/data/applications/mimeapps.list", list);
  writeText(root_ + "/config/mimeapps.list", list);
}

std::map<std::string, std::string> DesktopEnvironment::variables() const {
  return {{"XDG_DATA_HOME", root_ + "/data"},
          {"XDG_CONFIG_HOME", root_ + "/config"},
          {"XDG_DATA_DIRS", root_ + "/system-data"},
          {"XDG_CONFIG_DIRS", root_ + "/system-config"},
          {"XDG_CURRENT_DESKTOP", ""},
          {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root_ + "/no-bus"}};
}

}  // namespace testsupport
