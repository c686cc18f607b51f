// Stand-in for the .NET Framework 2.0 installer on the medium, for Windows:
// creates the runtime's registry key, quietly with /Q, otherwise after asking,
// and exits.
#include <windows.h>

#include <cwchar>

namespace {

const wchar_t kRuntimeKey[] = L"SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727";

bool registerRuntime() {
  HKEY key = nullptr;
  // Where the 32-bit installer writes it on 64-bit Windows.
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRuntimeKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    MessageBoxW(nullptr, L"Nie można zapisać klucza rejestru środowiska .NET Framework 2.0.",
                L"Instalator .NET Framework 2.0", MB_OK | MB_ICONERROR);
    return false;
  }
  const DWORD installed = 1;
  RegSetValueExW(key, L"Install", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&installed), sizeof installed);
  RegCloseKey(key);
  return true;
}

// Windows installers take their switches in either case.
bool quietRequested(int argc, wchar_t **argv) {
  for (int i = 1; i < argc; ++i)
    if (_wcsicmp(argv[i], L"/Q") == 0) return true;
  return false;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  if (!quietRequested(argc, argv) &&
      MessageBoxW(nullptr, L"Zainstalować środowisko .NET Framework 2.0?", L"Instalator .NET Framework 2.0",
                  MB_YESNO | MB_ICONQUESTION) != IDYES)
    return 0;
  return registerRuntime() ? 0 : 1;
}
