// Read-only registry key test on Windows. Safe on any thread.
#include "platform/platform.h"
#include "platform/windows/wide_text.h"

#include <windows.h>

#include <string>

namespace platform {

bool registryKeyExists(RegistryRoot root, const std::string &keyPath) {
  std::wstring path;
  if (keyPath.empty() || !windows::widen(keyPath, path)) return false;
  HKEY key = nullptr;
  // The key is opened for reading and closed again at once; no value is read.
  // The machine's keys are read as a 32-bit program sees them, where the
  // 32-bit runtime installer writes them on 64-bit Windows.
  if (RegOpenKeyExW(root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, path.c_str(),
                    0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

}  // namespace platform
