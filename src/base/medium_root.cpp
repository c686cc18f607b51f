// Rules that fix the medium root from the command line or the program's path.
#include "base/medium_root.h"

std::string currentPath;

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// A Windows-style root ("E:", "E:\data") keeps backslashes; everything else
// gets the separator of this system.
char separatorFor(const std::string &path) {
  bool driveForm = path.size() >= 2 && path[1] == ':' &&
                   ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (driveForm || path.find('\\') != std::string::npos) return '\\';
  return '/';
}

std::string withFinalSeparator(std::string path) {
  if (!path.empty() && path.back() == '"') path.pop_back();
  if (path.empty()) return path;
  if (!isSeparator(path.back())) path.push_back(separatorFor(path));
  return path;
}

}  // namespace

std::string rootFromProgramPath(const std::string &programPath) {
  size_t backslash = programPath.rfind("\\gtk");
  size_t slash = programPath.rfind("/gtk");
  size_t at = std::string::npos;
  if (backslash != std::string::npos) at = backslash;
  if (slash != std::string::npos && (at == std::string::npos || slash > at)) at = slash;
  if (at == std::string::npos) return std::string();
  return programPath.substr(0, at + 1);
}

std::string mediumRootFromArguments(const std::vector<std::string> &arguments,
                                    const std::string &currentDirectory) {
  std::string root;
  if (arguments.size() >= 2)
    root = arguments[1];
  else if (!arguments.empty())
    root = rootFromProgramPath(arguments[0]);
  root = withFinalSeparator(root);
  if (root.empty()) root = withFinalSeparator(currentDirectory);
  return root;
}
