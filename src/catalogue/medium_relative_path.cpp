// Paths of files on the medium written relative to the medium root.
#include "catalogue/medium_relative_path.h"

#include <boost/filesystem/path.hpp>

std::optional<std::string> pathFromMediumFolder(const std::string &written, const std::string &folder,
                                                const std::string &mediumRoot) {
  // The walks join folders with the system's own separator and a name with "/".
  auto separator = [](char c) {
    return c == '/' || c == static_cast<char>(boost::filesystem::path::preferred_separator);
  };
  std::string::size_type from = 0;
  if (!mediumRoot.empty() && written.compare(0, mediumRoot.size(), mediumRoot) == 0 &&
      (separator(mediumRoot.back()) || separator(written[mediumRoot.size()])))
    from = mediumRoot.size();
  std::string::size_type start = written.find(folder, from);
  if (start == std::string::npos) return std::nullopt;
  return written.substr(start);
}
