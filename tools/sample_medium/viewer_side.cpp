// The program side of the sample medium: gtk/bin with the navigator and
// viewer.ini, Program/ with the viewer and installer stand-ins, img/ and autorun.sh.
#include "viewer_side.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <boost/filesystem.hpp>

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "runtime_bundle.h"

#ifdef VELMORA_WITH_ARTWORK
#include "artwork.h"
#endif

namespace samplemedium {

namespace fs = boost::filesystem;

const char *const viewerStandIn = "dicomviewer-standin";
const char *const installerStandIn = "dotnetfx-standin";
const char *const ownViewerOnDisc = "gtk/bin/velmora-viewer";
// Must match the title the viewer gives its window.
const char *const ownViewerTitle = "Velmora-Brelantor DICOM";

namespace {

const char *const viewerSettings =
    "[viewer]\n"
    "viewer=DICOMViewer.exe\n"
    "windowClassName=DICOMViewerSplash\n";

bool writeText(const std::string &path, const char *text, std::string *error) {
  GError *failure = nullptr;
  if (!g_file_set_contents(path.c_str(), text, -1, &failure)) {
    *error = failure->message;
    g_error_free(failure);
    return false;
  }
  return true;
}

// Copies a program onto the medium as `name`, relative to `root`; a program
// that does not exist is a warning, not a failure, so that a medium can be
// made before everything is built.
bool copyProgram(const std::string &from, const std::string &root, const std::string &name,
                 SampleMediumSummary *summary, std::string *error) {
  if (from.empty()) return true;
  if (!g_file_test(from.c_str(), G_FILE_TEST_IS_REGULAR)) {
    summary->warnings.push_back(from + " not found: " + name + " left out");
    return true;
  }
  return runtimebundle::copyOntoDisc(from, root + "/" + name, 0755, error);
}

bool isElfFile(const std::string &path) {
  std::unique_ptr<FILE, decltype(&std::fclose)> file(g_fopen(path.c_str(), "rb"), std::fclose);
  char head[4] = {};
  return file && std::fread(head, 1, sizeof head, file.get()) == sizeof head &&
         std::memcmp(head,
                     "\x7f"
                     "ELF",
                     sizeof head) == 0;
}

// Our viewer goes where the stand-ins are not asked for; it shares the
// navigator's runtime, so it comes only with a bundled navigator.
bool ownViewerOnMedium(const SampleMediumOptions &options) {
  return options.toolDirectory.empty() && !options.viewerProgram.empty() &&
         g_file_test(options.viewerProgram.c_str(), G_FILE_TEST_IS_REGULAR) &&
         !options.navigatorProgram.empty() &&
         g_file_test(options.navigatorProgram.c_str(), G_FILE_TEST_IS_REGULAR);
}

// The navigator with the runtime it needs on a desktop that has only the
// baseline; the stand-ins that are real programs share it. Stand-ins that are
// not (scripts in tests) are copied as they are.
bool writePrograms(const std::string &root, const SampleMediumOptions &options, SampleMediumSummary *summary,
                   std::string *error) {
  const std::string tools = options.toolDirectory.empty() ? "" : options.toolDirectory + "/";
  std::vector<std::pair<std::string, std::string>> standIns;
  if (!tools.empty())
    standIns = {{tools + viewerStandIn, "Program/DICOMViewer.exe"},
                {tools + installerStandIn, "Program/FRAMEWORK/dotnetfx.exe"}};
  const bool bundled = !options.navigatorProgram.empty() &&
                       g_file_test(options.navigatorProgram.c_str(), G_FILE_TEST_IS_REGULAR);
  runtimebundle::BundleOptions bundle;
  for (const auto &standIn : standIns) {
    if (bundled && isElfFile(standIn.first))
      bundle.programs.push_back(standIn);
    else if (!copyProgram(standIn.first, root, standIn.second, summary, error))
      return false;
  }
  if (ownViewerOnMedium(options)) bundle.programs.push_back({options.viewerProgram, ownViewerOnDisc});
  if (bundled) return runtimebundle::bundleRuntime(options.navigatorProgram, root, bundle, nullptr, error);
  if (!options.navigatorProgram.empty())
    summary->warnings.push_back(options.navigatorProgram + " not found: gtk/bin/velmora-brelantor left out");
  const std::string autorun = root + "/autorun.sh";
  if (!writeText(autorun, runtimebundle::autorunScript, error)) return false;
  if (g_chmod(autorun.c_str(), 0755) != 0) {
    *error = "autorun.sh cannot be made executable";
    return false;
  }
  return true;
}

// Windows starts this from the disc's root, with the root as the current folder.
constexpr char autorunInf[] =
    "[autorun]\r\n"
    "open=gtk\\bin\\velmora-brelantor.exe\r\n"
    "icon=img\\icon.ico\r\n";

// Copies the tree `from` into `to`, replacing files of the same name.
bool copyTree(const fs::path &from, const fs::path &to, std::string *error) {
  boost::system::error_code failure;
  fs::create_directories(to, failure);
  for (fs::directory_iterator entry(from, failure), end; !failure && entry != end; entry.increment(failure)) {
    const fs::path target = to / entry->path().filename();
    if (fs::is_directory(entry->status())) {
      if (!copyTree(entry->path(), target, error)) return false;
    } else {
      if (!runtimebundle::copyOntoDisc(entry->path().string(), target.string(), -1, error)) return false;
    }
  }
  if (failure) *error = from.string() + ": " + failure.message();
  return !failure;
}

bool writeWindowsPrograms(const std::string &root, const SampleMediumOptions &options, std::string *error) {
  const fs::path files(options.windowsFiles);
  if (!fs::exists(files / "gtk" / "bin" / "velmora-brelantor.exe")) {
    *error = options.windowsFiles + ": no Windows program there (scripts/build.sh windows makes it)";
    return false;
  }
  // The Windows stand-ins only where the stand-ins were asked for.
  if (!copyTree(files / "gtk", fs::path(root) / "gtk", error)) return false;
  if (!options.toolDirectory.empty() && fs::exists(files / "Program") &&
      !copyTree(files / "Program", fs::path(root) / "Program", error))
    return false;
  return writeText(root + "/autorun.inf", autorunInf, error);
}

}  // namespace

bool writeViewerSide(const std::string &root, const SampleMediumOptions &options,
                     SampleMediumSummary *summary, std::string *error) {
  for (const char *folder : {"/gtk/bin", "/Program/FRAMEWORK", "/img"})
    if (g_mkdir_with_parents((root + folder).c_str(), 0755) != 0) {
      *error = root + folder + ": the folder cannot be created";
      return false;
    }
  // With backslashes, as the settings of a disc for both systems are written;
  // Windows' shell adds the program extension to a name that has none.
  const std::string ownSettings =
      std::string("[viewer]\nviewer=gtk\\bin\\velmora-viewer\nwindowClassName=") + ownViewerTitle + "\n";
  if (!writeText(root + "/gtk/bin/viewer.ini",
                 ownViewerOnMedium(options) ? ownSettings.c_str() : viewerSettings, error))
    return false;
  if (!writePrograms(root, options, summary, error)) return false;
  if (options.windows && !writeWindowsPrograms(root, options, error)) return false;
  if (options.artwork) {
#ifdef VELMORA_WITH_ARTWORK
    if (!writeArtwork(root + "/img", error)) return false;
#else
    summary->warnings.push_back("artwork not built in: img/ left empty");
#endif
  }
  return true;
}

}  // namespace samplemedium
