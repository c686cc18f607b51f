// make-disc SOURCE... --out DIR [--report FILE]... [--label TEXT] [--image FILE.iso]:
// a patient's disc from a DICOM export.
#include "make_disc.h"

#include <glib.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

namespace {

std::atomic<bool> interrupted{false};

void onSignal(int) { interrupted = true; }

// A bar redrawn in place on a terminal; plain lines at every tenth otherwise.
class ProgressPrinter {
 public:
  explicit ProgressPrinter(bool terminal) : terminal_(terminal) {}
  ~ProgressPrinter() { finish(); }

  void show(const std::string &phase, size_t done, size_t total) {
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (phase != phase_) {
      finish();
      phase_ = phase;
      shown_ = -1;
    }
    if (terminal_ ? percent == shown_ && done != total : percent / 10 == shown_ / 10 && shown_ >= 0) return;
    shown_ = percent;
    if (terminal_) {
      const int width = 30, filled = percent * width / 100;
      std::fprintf(stderr, "\r%-8s [%s%s] %3d%% %zu/%zu", phase.c_str(), std::string(filled, '#').c_str(),
                   std::string(width - filled, ' ').c_str(), percent, done, total);
      open_ = true;
    } else {
      std::fprintf(stderr, "%s: %d%% (%zu/%zu)\n", phase.c_str(), percent, done, total);
    }
    std::fflush(stderr);
  }

  void finish() {
    if (open_) std::fputc('\n', stderr);
    open_ = false;
  }

 private:
  bool terminal_;
  bool open_ = false;
  std::string phase_;
  int shown_ = -1;
};

}  // namespace

int main(int argc, char **argv) {
  std::setlocale(LC_ALL, "");
  makedisc::MakeDiscOptions options;
  gchar *out = nullptr, *label = nullptr, *image = nullptr, *patient = nullptr, *navigator = nullptr,
        *tools = nullptr, *viewer = nullptr, *viewerTitle = nullptr, *medium = nullptr;
  gchar **reports = nullptr, **sources = nullptr;
  gboolean standIns = FALSE, noArtwork = FALSE, windows = FALSE, skipUnreadable = FALSE;
  const GOptionEntry entries[] = {
      {"out", 'o', 0, G_OPTION_ARG_FILENAME, &out, "The disc folder to make (missing or empty)", "DIR"},
      {"report", 'r', 0, G_OPTION_ARG_FILENAME_ARRAY, &reports, "An HTML or PDF report (repeatable)", "FILE"},
      {"label", 'l', 0, G_OPTION_ARG_STRING, &label, "Volume label and DICOMDIR file-set ID", "TEXT"},
      {"image", 'i', 0, G_OPTION_ARG_FILENAME, &image, "Also make a burnable ISO image", "FILE.iso"},
      {"patient", 0, 0, G_OPTION_ARG_STRING, &patient, "The patient to take when there are several",
       "ID|NAME"},
      {"medium", 0, 0, G_OPTION_ARG_STRING, &medium,
       "The medium to fit: cd, dvd, dvd-dl, bd or a size with its unit (650MB); a larger export becomes a "
       "set "
       "of discs, one folder each",
       "MEDIUM"},
      {"max-side", 0, 0, G_OPTION_ARG_INT, &options.maxPictureSide, "Longest picture side (default 1024)",
       "PX"},
      {"quality", 0, 0, G_OPTION_ARG_INT, &options.jpegQuality, "JPEG quality (default 90)", "1-100"},
      {"threads", 0, 0, G_OPTION_ARG_INT, &options.threads, "Worker threads (default: one per processor)",
       "N"},
      {"viewer", 0, 0, G_OPTION_ARG_FILENAME, &viewer, "The clinic's viewer program, put into Program/",
       "PATH"},
      {"viewer-title", 0, 0, G_OPTION_ARG_STRING, &viewerTitle, "Title of that viewer's first window",
       "TEXT"},
      {"standins", 0, 0, G_OPTION_ARG_NONE, &standIns, "Put the viewer and runtime stand-ins on the disc",
       nullptr},
      {"navigator", 0, 0, G_OPTION_ARG_FILENAME, &navigator, "The navigator program to put on the disc",
       "PATH"},
      {"tools", 0, 0, G_OPTION_ARG_FILENAME, &tools, "Folder of the stand-ins and make-disc-image", "DIR"},
      {"no-artwork", 0, 0, G_OPTION_ARG_NONE, &noArtwork, "Leave the navigator's pictures out", nullptr},
      {"windows", 0, 0, G_OPTION_ARG_NONE, &windows, "Put the Windows program on the disc too", nullptr},
      {"skip-unreadable", 0, 0, G_OPTION_ARG_NONE, &skipUnreadable,
       "Accept a disc without the folders and files that cannot be read (exit status 0, not 3)", nullptr},
      {G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_FILENAME_ARRAY, &sources, nullptr, "SOURCE..."},
      {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
  };
  std::unique_ptr<GOptionContext, decltype(&g_option_context_free)> context(
      g_option_context_new("SOURCE... - make a patient's disc from a DICOM export"), g_option_context_free);
  g_option_context_add_main_entries(context.get(), entries, nullptr);
  g_option_context_set_description(
      context.get(),
      "Exit status: 0 the disc is ready, 1 refused, failed or interrupted (nothing "
      "left behind),\n2 wrong usage, 3 made with omissions: folders or files that "
      "could not be read are\nlisted and left out (--skip-unreadable accepts that).");
  GError *failure = nullptr;
  const bool parsed = g_option_context_parse(context.get(), &argc, &argv, &failure);
  if (!parsed || out == nullptr || sources == nullptr) {
    std::fprintf(
        stderr,
        "%s\nUsage: make-disc SOURCE... --out DIR [--report FILE]... [--label TEXT] [--image FILE.iso]\n",
        failure ? failure->message : "Sources and --out DIR are needed.");
    if (failure) g_error_free(failure);
    return 2;
  }
  for (gchar **source = sources; *source != nullptr; ++source) options.sources.push_back(*source);
  for (gchar **report = reports; report != nullptr && *report != nullptr; ++report)
    options.reports.push_back(*report);
  options.out = out;
  if (label) options.label = label;
  if (image) options.image = image;
  if (patient) options.patientId = patient;
  if (medium) options.medium = medium;
  if (navigator) options.navigatorProgram = navigator;
  if (tools) options.toolDirectory = tools;
  if (viewer) options.viewerProgram = viewer;
  if (viewerTitle) options.viewerWindowTitle = viewerTitle;
  options.standIns = standIns;
  options.artwork = !noArtwork;
  options.windows = windows;
  options.skipUnreadable = skipUnreadable;
  for (gchar *text : {out, label, image, patient, navigator, tools, viewer, viewerTitle, medium})
    g_free(text);
  g_strfreev(reports);
  g_strfreev(sources);

  // An interrupted run removes what it wrote and ends with a refusal.
  struct sigaction action = {};
  action.sa_handler = onSignal;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  options.cancel = &interrupted;
  ProgressPrinter printer(isatty(STDERR_FILENO) != 0);
  options.progress = [&printer](const std::string &phase, size_t done, size_t total) {
    printer.show(phase, done, total);
  };

  makedisc::MakeDiscSummary summary;
  std::string error;
  const bool made = makedisc::makeDisc(options, &summary, &error);
  printer.finish();
  std::fputs(makedisc::summaryText(summary).c_str(), stdout);
  if (!made) {
    std::fprintf(stderr, "make-disc: %s\n", error.c_str());
    return 1;
  }
  const int status = makedisc::madeStatus(options, summary);
  if (status != 0) {
    std::printf(
        "%s: the disc is made with omissions: %zu folders or files could not be read "
        "(--skip-unreadable accepts that)\n",
        options.out.c_str(), summary.unreadable.size());
    return status;
  }
  const std::string what =
      summary.discs > 1 ? "the set of " + std::to_string(summary.discs) + " discs is ready (one folder each)"
                        : "the disc is ready";
  std::printf("%s: %s%s\n", options.out.c_str(), what.c_str(),
              summary.unreadable.empty() ? "" : ", without what could not be read");
  return 0;
}
