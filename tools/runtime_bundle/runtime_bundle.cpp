// Bundling: the dependency closure comes from ldd, the baseline from the files
// dpkg lists for the baseline packages, run paths are set with patchelf and
// symbol versions read with objdump (all Debian tools of the build machine).
#include "runtime_bundle.h"

#include "platform/platform.h"

#include <gio/gio.h>
#include <glib.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace runtimebundle {

const char *const navigatorOnDisc = "gtk/bin/velmora-brelantor";
const char *const requirementsOnDisc = "gtk/WYMAGANIA.txt";

// The variables autorun.sh sets are listed in VELMORA_RUNTIME_ENV, and the
// values they had in VELMORA_HOST_<name>, so that the navigator gives the
// desktop programs it starts (a browser) the desktop's own environment.
const char *const autorunScript =
    "#!/bin/sh\n"
    "# Starts the navigator of this disc with the disc's root as its medium, from\n"
    "# any folder and any mount point; writes nothing. The disc's own libraries are\n"
    "# found through the program's run path; these variables point the toolkit at\n"
    "# the disc's picture loaders and modules, GIO at its file-type database and\n"
    "# DCMTK at its dictionary.\n"
    "here=$(cd -- \"$(dirname -- \"$0\")\" && pwd -P) || exit 1\n"
    "cd \"$here\" || exit 1\n"
    "VELMORA_RUNTIME_ENV=\"GDK_PIXBUF_MODULE_FILE GTK_EXE_PREFIX GIO_MODULE_DIR GIO_LAUNCH_DESKTOP "
    "XDG_DATA_DIRS DCMDICTPATH\"\n"
    "for name in $VELMORA_RUNTIME_ENV; do\n"
    "  eval \"[ -z \\\"\\${$name+set}\\\" ] || export VELMORA_HOST_$name=\\\"\\$$name\\\"\"\n"
    "done\n"
    "export VELMORA_RUNTIME_ENV\n"
    "export GDK_PIXBUF_MODULE_FILE=\"$here/gtk/lib/gdk-pixbuf-2.0/2.10.0/loaders.cache\"\n"
    "export GTK_EXE_PREFIX=\"$here/gtk\"\n"
    "export GIO_MODULE_DIR=\"$here/gtk/lib/gio/modules\"\n"
    "# GIO starts the desktop's programs through this helper of its own.\n"
    "export GIO_LAUNCH_DESKTOP=\"$here/gtk/bin/gio-launch-desktop\"\n"
    "# The desktop's file types first; the disc's when the desktop has none.\n"
    "export XDG_DATA_DIRS=\"${XDG_DATA_DIRS:-/usr/local/share:/usr/share}:$here/gtk/share\"\n"
    "# Relative to the disc's root, the current folder of the programs that read it.\n"
    "export DCMDICTPATH=gtk/share/dcmtk/dicom.dic\n"
    "program=gtk/bin/velmora-brelantor\n"
    "if [ -x \"$program\" ]; then\n"
    "  exec \"./$program\" \"$here\"\n"
    "fi\n"
    "# A disc without execute marks (ISO 9660 or Joliet without Rock Ridge, or\n"
    "# mounted with mode=0400): the system's loader runs the program all the same.\n"
    "exec /lib64/ld-linux-x86-64.so.2 \"./$program\" \"$here\"\n";

namespace {

const char *const kLibraryFolder = "gtk/lib";
const char *const kLoaderFolder = "gtk/lib/gdk-pixbuf-2.0/2.10.0";
const char *const kGioModuleFolder = "gtk/lib/gio/modules";
// Where the toolkit looks for the modules that GTK_MODULES names once
// GTK_EXE_PREFIX points it at the disc: the desktop's own are not searched.
const char *const kToolkitModuleFolder = "gtk/lib/gtk-2.0/modules";
// Where the toolkit looks for its print backends under GTK_EXE_PREFIX.
const char *const kPrintBackendFolder = "gtk/lib/gtk-2.0/2.10.0/printbackends";
const char *const kDictionaryOnDisc = "gtk/share/dcmtk/dicom.dic";
// GdkPixbuf tells formats apart by GIO's file-type guess, which needs a
// database that a desktop without shared-mime-info lacks.
const char *const kMimeCacheOnDisc = "gtk/share/mime/mime.cache";
// The helper through which GIO starts desktop programs (it comes with GLib).
const char *const kLaunchHelperOnDisc = "gtk/bin/gio-launch-desktop";

// The formats the programs read: the window icon (.ico), the pictures (JPEG,
// PNG). Loaders built into GdkPixbuf need no module.
// The system's list of picture loaders is a few kilobytes.
const size_t kLargestLoaderCache = 4u * 1024 * 1024;

const char *const kUsedFormats[] = {"ico", "jpeg", "png"};

// Where the distributions that are commonly found on desktops stand.
struct Distribution {
  const char *name;
  int glibcMinor;  // glibc 2.x
};
const Distribution kDistributions[] = {
    {"RHEL 8", 28},    {"Debian 11", 31},    {"Ubuntu 20.04", 31}, {"Fedora 35", 34}, {"RHEL 9", 34},
    {"Fedora 36", 35}, {"Ubuntu 22.04", 35}, {"Debian 12", 36},    {"Fedora 38", 37}, {"Ubuntu 24.04", 39},
};

bool fail(std::string *error, const std::string &message) {
  if (error) *error = message;
  return false;
}

// Runs a tool and returns its standard output (also when it fails); false
// with the tool's message.
bool runTool(const std::vector<std::string> &command, std::string &output, std::string *error) {
  std::vector<char *> argv;
  for (const std::string &part : command) argv.push_back(const_cast<char *>(part.c_str()));
  argv.push_back(nullptr);
  gchar *out = nullptr, *err = nullptr;
  gint status = 0;
  GError *failure = nullptr;
  if (!g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out, &err, &status,
                    &failure)) {
    std::string message = command[0] + ": " + failure->message;
    g_error_free(failure);
    return fail(error, message);
  }
  output = out ? out : "";
  std::string messages = err ? err : "";
  g_free(out);
  g_free(err);
  if (!g_spawn_check_wait_status(status, nullptr))
    return fail(error, command[0] + " " + command.back() + " failed: " + messages);
  return true;
}

std::string baseName(const std::string &path) {
  std::unique_ptr<gchar, decltype(&g_free)> name(g_path_get_basename(path.c_str()), g_free);
  return name.get();
}

bool makeFolders(const std::string &root, std::string *error) {
  for (const char *folder :
       {"gtk/bin", kLibraryFolder, "gtk/lib/gdk-pixbuf-2.0/2.10.0/loaders", kGioModuleFolder,
        kToolkitModuleFolder, kPrintBackendFolder, "gtk/share/dcmtk", "gtk/share/mime"})
    if (g_mkdir_with_parents((root + "/" + folder).c_str(), 0755) != 0)
      return fail(error, root + "/" + folder + ": the folder cannot be created");
  return true;
}

bool writeFile(const std::string &path, const std::string &text, int mode, std::string *error) {
  if (g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) g_chmod(path.c_str(), 0644);
  GError *failure = nullptr;
  if (!g_file_set_contents(path.c_str(), text.data(), static_cast<gssize>(text.size()), &failure)) {
    std::string message = failure->message;
    g_error_free(failure);
    return fail(error, message);
  }
  if (g_chmod(path.c_str(), mode) != 0) return fail(error, path + ": the mode cannot be set");
  return true;
}

// The file names of the shared objects of the baseline packages (as installed
// on this machine: a baseline package that is not installed is not needed).
bool baselineLibraryNames(std::set<std::string> &names, std::string *error) {
  std::vector<std::string> command = {"dpkg-query", "-L"};
  command.insert(command.end(), baselinePackages().begin(), baselinePackages().end());
  // A baseline package that is not installed fails the whole command but is
  // not needed either: the listing of the others is what counts.
  std::string listing;
  runTool(command, listing, nullptr);
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);)
    if (line.find(".so") != std::string::npos) names.insert(baseName(line));
  if (names.count("libc.so.6") == 0) return fail(error, "dpkg lists no C library: no baseline to go by");
  return true;
}

// The shared objects `elf` loads, by file name, with where they are on this machine.
bool dependencies(const std::string &elf, std::map<std::string, std::string> &found, std::string *error) {
  std::string listing;
  if (!runTool({"ldd", elf}, listing, error)) return false;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string name, arrow, path;
    words >> name >> arrow >> path;
    if (arrow != "=>") continue;  // the vDSO and the loader itself
    if (path == "not") return fail(error, elf + " needs " + name + ", which is not installed");
    found[name] = path;
  }
  return true;
}

// The loaders of the used formats from the system's cache, rewritten to paths
// relative to the disc's root (the current folder of the disc's programs):
// the cache then holds for any mount point. Copies the modules.
bool bundleLoaders(const std::string &root, std::vector<std::string> &modules, std::string *error) {
  std::string cache;
  if (!g_file_test(VELMORA_PIXBUF_LOADER_CACHE, G_FILE_TEST_EXISTS))
    return fail(error, std::string(VELMORA_PIXBUF_LOADER_CACHE) + " is missing");
  std::string why;
  if (!platform::readRegularFile(VELMORA_PIXBUF_LOADER_CACHE, kLargestLoaderCache, cache, &why))
    return fail(error, why);

  std::string written =
      "# GdkPixbuf Image Loader Modules file\n"
      "# The loaders of this disc; paths are relative to the disc's root.\n";
  // Blocks are separated by blank lines; a block's first line is the quoted
  // module path, its second starts with the quoted format name.
  std::istringstream blocks(cache);
  std::string line, block;
  std::vector<std::string> lines;
  auto flush = [&]() -> bool {
    if (lines.size() >= 2 && lines[0].size() > 2 && lines[0][0] == '"') {
      const std::string module = lines[0].substr(1, lines[0].size() - 2);
      const std::string format = lines[1].substr(1, lines[1].find('"', 1) - 1);
      if (std::find(std::begin(kUsedFormats), std::end(kUsedFormats), format) != std::end(kUsedFormats)) {
        const std::string relative = std::string(kLoaderFolder) + "/loaders/" + baseName(module);
        if (!copyOntoDisc(module, root + "/" + relative, 0444, error)) return false;
        modules.push_back(module);
        written += "\"" + relative + "\"\n";
        for (size_t i = 1; i < lines.size(); ++i) written += lines[i] + "\n";
        written += "\n";
      }
    }
    lines.clear();
    return true;
  };
  while (std::getline(blocks, line)) {
    if (line.empty()) {
      if (!flush()) return false;
    } else if (line[0] != '#') {
      lines.push_back(line);
    }
  }
  if (!flush()) return false;
  return writeFile(root + "/" + kLoaderFolder + "/loaders.cache", written, 0444, error);
}

// The toolkit's modules in the `:`-separated list `paths`, copied into
// `folder` under the disc's root, where the toolkit finds them; what they load
// is bundled with the program's libraries (the program's run path serves them too).
bool bundleToolkitModules(const std::string &root, const char *paths, const char *folder,
                          std::vector<std::string> &modules, std::string *error) {
  gchar **list = g_strsplit(paths, ":", -1);
  bool copied = true;
  for (gchar **path = list; copied && *path != nullptr; ++path) {
    copied = copyOntoDisc(*path, root + "/" + folder + "/" + baseName(*path), 0444, error);
    if (copied) modules.push_back(std::string(folder) + "/" + baseName(*path));
  }
  g_strfreev(list);
  return copied;
}

// "2.34" > "2.4": versions compare part by part as numbers.
bool versionLess(const std::string &a, const std::string &b) {
  std::istringstream left(a), right(b);
  std::string x, y;
  while (true) {
    bool moreLeft = static_cast<bool>(std::getline(left, x, '.'));
    bool moreRight = static_cast<bool>(std::getline(right, y, '.'));
    if (!moreLeft || !moreRight) return !moreLeft && moreRight;
    long l = std::strtol(x.c_str(), nullptr, 10), r = std::strtol(y.c_str(), nullptr, 10);
    if (l != r) return l < r;
  }
}

std::string requirementsText(const std::string &glibc, const std::string &libstdcxx) {
  std::string distributions;
  const int minor = std::atoi(glibc.substr(glibc.find('.') + 1).c_str());
  for (const Distribution &distribution : kDistributions)
    if (distribution.glibcMinor >= minor)
      distributions += (distributions.empty() ? "" : ", ") + std::string(distribution.name);
  return "Program „Velmora-Brelantor” na tej płycie działa w systemie Linux (x86-64, X11)\n"
         "z biblioteką C glibc w wersji " +
         glibc + " lub nowszej (" + distributions +
         " i nowsze)\n"
         "oraz z biblioteką libstdc++ obsługującą GLIBCXX_" +
         libstdcxx +
         ".\n"
         "Pozostałe biblioteki, oprócz podstawowych bibliotek pulpitu (X11, fontconfig, freetype),\n"
         "znajdują się na płycie w katalogu gtk/lib.\n"
         "\n"
         "GLIBC_MIN=" +
         glibc + "\nGLIBCXX_MIN=" + libstdcxx + "\n";
}

// Sets the run path of a copied program so that it finds gtk/lib from its own
// folder. DT_RPATH, not DT_RUNPATH: the loader then also searches it for the
// libraries' own dependencies and for modules the libraries load.
bool setRunPath(const std::string &root, const std::string &relativeProgram, std::string *error) {
  int depth = 0;
  for (size_t slash = relativeProgram.find('/'); slash != std::string::npos;
       slash = relativeProgram.find('/', slash + 1))
    ++depth;
  std::string runPath = "$ORIGIN";
  for (int i = 0; i < depth; ++i) runPath += "/..";
  runPath += std::string("/") + kLibraryFolder;
  std::string ignored;
  return runTool({"patchelf", "--force-rpath", "--set-rpath", runPath, root + "/" + relativeProgram}, ignored,
                 error);
}

}  // namespace

const std::vector<std::string> &baselinePackages() {
  static const std::vector<std::string> packages = {
      "libc6",       "libgcc-s1",      "libstdc++6",   "libx11-6",          "libxext6",
      "libxrender1", "libxi6",         "libxrandr2",   "libxcursor1",       "libxinerama1",
      "libxfixes3",  "libxcomposite1", "libxdamage1",  "libxcb1",           "libxcb-render0",
      "libxcb-shm0", "libfontconfig1", "libfreetype6", "fonts-dejavu-core", "zlib1g",
      "libexpat1"};
  return packages;
}

std::string newestSymbolVersion(const std::string &path, const std::string &prefix, std::string *error) {
  std::string table;
  if (!runTool({"objdump", "-T", path}, table, error)) return "";
  std::string newest;
  const std::string marker = prefix + "_";
  for (size_t at = table.find(marker); at != std::string::npos; at = table.find(marker, at + 1)) {
    size_t begin = at + marker.size(), end = begin;
    while (end < table.size() && (g_ascii_isdigit(table[end]) || table[end] == '.')) ++end;
    std::string version = table.substr(begin, end - begin);
    if (!version.empty() && g_ascii_isdigit(version[0]) && (newest.empty() || versionLess(newest, version)))
      newest = version;
  }
  return newest;
}

bool bundleRuntime(const std::string &programPath, const std::string &discRoot, std::string *error) {
  return bundleRuntime(programPath, discRoot, BundleOptions(), nullptr, error);
}

bool bundleRuntime(const std::string &programPath, const std::string &discRoot, const BundleOptions &options,
                   BundleSummary *summary, std::string *error) {
  std::string localError;
  if (!error) error = &localError;
  error->clear();
  BundleSummary local;
  BundleSummary &result = summary ? *summary : local;
  result = BundleSummary();
  if (!g_file_test(programPath.c_str(), G_FILE_TEST_IS_REGULAR))
    return fail(error, programPath + " not found");
  if (!makeFolders(discRoot, error)) return false;

  std::vector<std::pair<std::string, std::string>> programs = {{programPath, navigatorOnDisc}};
  programs.insert(programs.end(), options.programs.begin(), options.programs.end());
  std::map<std::string, std::string> needed;
  for (const auto &program : programs) {
    if (!g_file_test(program.first.c_str(), G_FILE_TEST_IS_REGULAR))
      return fail(error, program.first + " not found");
    if (!dependencies(program.first, needed, error)) return false;
    std::unique_ptr<gchar, decltype(&g_free)> folder(
        g_path_get_dirname((discRoot + "/" + program.second).c_str()), g_free);
    if (g_mkdir_with_parents(folder.get(), 0755) != 0)
      return fail(error, std::string(folder.get()) + ": the folder cannot be created");
    const std::string target = discRoot + "/" + program.second;
    if (!copyOntoDisc(program.first, target, 0755, error) || !setRunPath(discRoot, program.second, error) ||
        g_chmod(target.c_str(), 0555) != 0)
      return false;
  }
  if (!bundleLoaders(discRoot, result.loaders, error)) return false;
  for (const std::string &module : result.loaders)
    if (!dependencies(module, needed, error)) return false;
  // The accessibility modules a screen reader's desktop names in GTK_MODULES, and the print backends.
  if (!bundleToolkitModules(discRoot, VELMORA_GTK_MODULES, kToolkitModuleFolder, result.modules, error) ||
      !bundleToolkitModules(discRoot, VELMORA_PRINT_BACKENDS, kPrintBackendFolder, result.modules, error))
    return false;
  for (const std::string &module : result.modules)
    if (!dependencies(discRoot + "/" + module, needed, error)) return false;

  std::set<std::string> baseline;
  if (!baselineLibraryNames(baseline, error)) return false;
  std::vector<std::string> elfFiles;
  for (const auto &program : programs) elfFiles.push_back(discRoot + "/" + program.second);
  for (const std::string &module : result.loaders)
    elfFiles.push_back(discRoot + "/" + kLoaderFolder + "/loaders/" + baseName(module));
  for (const std::string &module : result.modules) elfFiles.push_back(discRoot + "/" + module);
  for (const auto &library : needed) {
    if (baseline.count(library.first)) continue;
    const std::string target = discRoot + "/" + kLibraryFolder + "/" + library.first;
    if (!copyOntoDisc(library.second, target, 0444, error)) return false;
    result.libraries.push_back(library.first);
    elfFiles.push_back(target);
  }

  if (!copyOntoDisc(VELMORA_DCMTK_DICTIONARY, discRoot + "/" + kDictionaryOnDisc, 0444, error) ||
      !copyOntoDisc(VELMORA_MIME_CACHE, discRoot + "/" + kMimeCacheOnDisc, 0444, error) ||
      !copyOntoDisc(VELMORA_GIO_LAUNCH_DESKTOP, discRoot + "/" + kLaunchHelperOnDisc, 0555, error))
    return false;
  elfFiles.push_back(discRoot + "/" + kLaunchHelperOnDisc);

  // What the host must offer: its C library and the C++ library (baseline).
  for (const std::string &elf : elfFiles) {
    std::string glibc = newestSymbolVersion(elf, "GLIBC", error);
    std::string libstdcxx = newestSymbolVersion(elf, "GLIBCXX", error);
    if (!error->empty()) return false;
    if (!glibc.empty() && (result.oldestGlibc.empty() || versionLess(result.oldestGlibc, glibc)))
      result.oldestGlibc = glibc;
    if (!libstdcxx.empty() &&
        (result.oldestLibstdcxx.empty() || versionLess(result.oldestLibstdcxx, libstdcxx)))
      result.oldestLibstdcxx = libstdcxx;
  }
  if (!writeFile(discRoot + "/" + requirementsOnDisc,
                 requirementsText(result.oldestGlibc, result.oldestLibstdcxx), 0444, error) ||
      !writeFile(discRoot + "/autorun.sh", autorunScript, 0555, error))
    return false;

  for (const std::string &elf : elfFiles) {
    GStatBuf status;
    if (g_stat(elf.c_str(), &status) == 0) result.bytes += static_cast<unsigned long long>(status.st_size);
  }
  return true;
}

bool copyOntoDisc(const std::string &from, const std::string &to, int mode, std::string *error) {
  if (g_file_test(to.c_str(), G_FILE_TEST_EXISTS)) {
    g_chmod(to.c_str(), 0644);
    g_unlink(to.c_str());
  }
  std::string why;
  if (!platform::copyFileNoOverwrite(from, to, {}, &why)) return fail(error, from + ": " + why);
  if (mode >= 0 && g_chmod(to.c_str(), mode) != 0) return fail(error, to + ": the mode cannot be set");
  return true;
}

}  // namespace runtimebundle
