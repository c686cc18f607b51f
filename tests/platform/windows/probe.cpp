// A program for the shell tests: writes its current directory and its
// arguments, one a line in UTF-8, to "probe-output.txt" in that directory.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t *text) {
  int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 1) return std::string();
  std::string result(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], needed, nullptr, nullptr);
  result.pop_back();
  return result;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  wchar_t directory[4096];
  if (GetCurrentDirectoryW(4096, directory) == 0) return 1;
  FILE *out = _wfopen(L"probe-output.txt", L"wb");
  if (out == nullptr) return 1;
  std::string lines = utf8(directory) + "\n";
  for (int i = 1; i < argc; ++i) lines += utf8(argv[i]) + "\n";
  std::fwrite(lines.data(), 1, lines.size(), out);
  return std::fclose(out) == 0 ? 0 : 1;
}
