// The runtime a disc carries so that its programs start on a desktop that has
// none of the toolkit, DCMTK or Boost: the programs in gtk/bin (and elsewhere
// on the disc) find every library that is not part of a baseline desktop in
// gtk/lib through a run path relative to themselves; autorun.sh sets the few
// variables the toolkit needs to find its loaders and DCMTK its dictionary.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace runtimebundle {

// The Debian packages every desktop is relied on to have. Their libraries are
// never bundled (fonts and their configuration must be the running system's).
const std::vector<std::string> &baselinePackages();

// Further programs that share the disc's runtime: (built program, path on the
// disc relative to its root), e.g. the diagnostic viewer in Program/.
struct BundleOptions {
  std::vector<std::pair<std::string, std::string>> programs;
};

// What was bundled.
struct BundleSummary {
  std::vector<std::string> libraries;  // file names in gtk/lib
  std::vector<std::string> loaders;    // picture loader modules
  std::vector<std::string> modules;    // the toolkit's modules (accessibility, printing), on the disc
  std::string oldestGlibc;             // the newest GLIBC_ version any program or library asks for
  std::string oldestLibstdcxx;         // the same for the host's libstdc++ (GLIBCXX_)
  unsigned long long bytes = 0;        // size of everything written under gtk/
};

// The navigator's place on the disc, relative to its root.
extern const char *const navigatorOnDisc;
// The text of autorun.sh: from any folder, starts the navigator with the
// disc's root, the variables of the runtime set.
extern const char *const autorunScript;
// The file on the disc that states what the machine needs (the oldest C library).
extern const char *const requirementsOnDisc;

// Copies `programPath` to gtk/bin/velmora-brelantor under `discRoot`, the
// libraries it needs that are not part of the baseline to gtk/lib, the picture
// loaders it uses with their cache, the toolkit's accessibility modules (gail
// and atk-bridge, for screen readers) and print backends (file, CUPS), DCMTK's dictionary, the requirements
// file, and writes autorun.sh at the root. Files are left read-only (programs 0555), as on a burnt disc.
// False with a message in `error` on any failure (a library that cannot be found, a tool that is missing).
bool bundleRuntime(const std::string &programPath, const std::string &discRoot, std::string *error);
bool bundleRuntime(const std::string &programPath, const std::string &discRoot, const BundleOptions &options,
                   BundleSummary *summary, std::string *error);

// Copies `from` (following links) to `to` with the platform's checked copy,
// replacing an earlier copy of the same name, and gives it `mode` (negative:
// the source's). False with a message in `error` on any failure.
bool copyOntoDisc(const std::string &from, const std::string &to, int mode, std::string *error);

// The highest GLIBC_ (or other prefix's) symbol version the ELF file at
// `path` asks for, e.g. "2.34"; empty when it asks for none. Uses objdump.
std::string newestSymbolVersion(const std::string &path, const std::string &prefix, std::string *error);

}  // namespace runtimebundle
