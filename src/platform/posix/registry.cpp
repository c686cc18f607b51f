// Read-only registry key test over the per-user registry emulation, with the
// desktop's PDF association standing in for the PDF reader's key. Safe on any
// thread.
#include "platform/glib_owners.h"
#include "platform/posix/registry_emulation.h"

#include <gio/gio.h>
#include <glib.h>

#include <sys/stat.h>
#include <cstdlib>

#include <memory>
#include <string>
#include <vector>

namespace platform {

namespace {

const char pdfReaderKey[] = "SOFTWARE\\Adobe\\Acrobat Reader";

const char *rootName(RegistryRoot root) {
  return root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

// Not g_get_user_config_dir(): that one is fixed at its first call.
std::string configHome() {
  const char *configured = std::getenv("XDG_CONFIG_HOME");
  if (configured != nullptr && g_path_is_absolute(configured)) return configured;
  const char *home = std::getenv("HOME");
  std::string base = (home != nullptr && *home != '\0') ? home : g_get_home_dir();
  return base + "/.config";
}

// The key's components, or nothing when one of them is unusable as a folder name.
bool splitKeyPath(const std::string &keyPath, std::vector<std::string> &components) {
  components.clear();
  size_t start = 0;
  for (;;) {
    size_t end = keyPath.find('\\', start);
    std::string component = keyPath.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (component.empty() || component == "." || component == ".." ||
        component.find('/') != std::string::npos || component.find('\0') != std::string::npos)
      return false;
    components.push_back(component);
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

bool isDirectory(const std::string &path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string caseFolded(const std::string &text) {
  UniqueString folded(g_utf8_casefold(text.c_str(), static_cast<gssize>(text.size())));
  return folded ? std::string(folded.get()) : text;
}

// Registry names ignore case: the entry of `directory` that matches `name`
// with the exact spelling first, otherwise regardless of case. Empty when none.
std::string findEntry(const std::string &directory, const std::string &name) {
  std::string exact = directory + "/" + name;
  if (isDirectory(exact)) return exact;
  if (!g_utf8_validate(name.c_str(), static_cast<gssize>(name.size()), nullptr)) return std::string();
  UniqueDir dir(g_dir_open(directory.c_str(), 0, nullptr));
  if (!dir) return std::string();
  std::string wanted = caseFolded(name);
  while (const gchar *entry = g_dir_read_name(dir.get())) {
    std::string candidate(entry);
    if (!g_utf8_validate(entry, -1, nullptr) || caseFolded(candidate) != wanted) continue;
    std::string path = directory + "/" + candidate;
    if (isDirectory(path)) return path;
  }
  return std::string();
}

bool emulatedKeyExists(RegistryRoot root, const std::string &keyPath) {
  std::vector<std::string> components;
  if (!splitKeyPath(keyPath, components)) return false;
  std::string path = configHome() + "/velmora-brelantor/registry/" + rootName(root);
  if (!isDirectory(path)) return false;
  for (const std::string &component : components) {
    path = findEntry(path, component);
    if (path.empty()) return false;
  }
  return true;
}

bool desktopHasPdfReader() {
  UniqueObject<GAppInfo> reader(g_app_info_get_default_for_type("application/pdf", FALSE));
  return reader != nullptr;
}

}  // namespace

std::string registryKeyDirectory(RegistryRoot root, const std::string &keyPath) {
  std::vector<std::string> components;
  if (!splitKeyPath(keyPath, components)) return std::string();
  std::string path = configHome() + "/velmora-brelantor/registry/" + rootName(root);
  for (const std::string &component : components) path += "/" + component;
  return path;
}

bool registryKeyExists(RegistryRoot root, const std::string &keyPath) {
  if (emulatedKeyExists(root, keyPath)) return true;
  return root == RegistryRoot::CurrentUser && keyPath.size() == sizeof pdfReaderKey - 1 &&
         g_ascii_strcasecmp(keyPath.c_str(), pdfReaderKey) == 0 && desktopHasPdfReader();
}

}  // namespace platform
