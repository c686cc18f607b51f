// Makes a patient's disc from a clinic's DICOM export: DICOM/ and DICOMDIR,
// REFIMG/ pictures that pair with them, the reports and descrlist.js, the
// navigator side, README.TXT, INDEX.HTM with the pages of IHE_PDI/ for a web
// browser, and on request a burnable image.
#pragma once

#include "sample_medium.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace makedisc {

struct MakeDiscOptions {
  std::vector<std::string> sources;  // folders (walked whole) or single files
  std::string out;                   // the disc folder; must be missing or empty
  std::vector<std::string> reports;  // HTML or PDF reports, listed first
  std::string label;                 // volume label and DICOMDIR file-set ID; empty: from the patient
  std::string image;                 // the ISO image to make; empty: none
  std::string patientId;             // the patient to take when the export holds several
  // The medium the disc must fit ("cd", "dvd", "dvd-dl", "bd" or a size with
  // its unit); empty: one disc of any size. An export larger than it becomes
  // a set of complete discs in `out`/1, `out`/2, ... (`image` gets "-1",
  // "-2", ... before its extension).
  std::string medium;
  int maxPictureSide = 1024;
  int jpegQuality = 90;
  int threads = 0;  // 0: one per processor
  // The navigator copied to gtk/bin; empty: none.
  std::string navigatorProgram = samplemedium::SampleMediumOptions::defaultNavigatorProgram();
  // Folder of the other tools (the stand-ins, make-disc-image).
  std::string toolDirectory = samplemedium::SampleMediumOptions::ownProgramDirectory();
  bool standIns = false;          // the viewer and runtime-installer stand-ins in Program/
  std::string viewerProgram;      // the clinic's own viewer, copied into Program/
  std::string viewerWindowTitle;  // the title of its splash window; empty: its file name
  bool artwork = true;
  bool windows = false;  // the Windows program too (make-sample-medium --windows)
  // The clinic accepts a disc without the folders and files that could not be
  // read; otherwise such a disc is made but reported as made with omissions.
  bool skipUnreadable = false;
  // The sources are the caller's own files, removed once the disc is made (a
  // disc station's spool): the disc takes each by a second name on the same
  // file system instead of a copy, so neither the copy nor the removal moves
  // the objects' bytes. Where no such name can be made, the file is copied.
  bool linkSources = false;
  // Called with a phase name and its progress, one call at a time, on any thread.
  std::function<void(const std::string &, size_t, size_t)> progress;
  const std::atomic<bool> *cancel = nullptr;  // raised: stop, leave nothing behind
};

struct MakeDiscSummary {
  int patients = 0;
  int studies = 0;
  int series = 0;        // image series (the ones with REFIMG folders)
  int images = 0;        // image objects
  int others = 0;        // objects without pixel data (reports, presentation states...)
  int pictures = 0;      // JPEG pictures written
  int placeholders = 0;  // pictures saying why a frame could not be rendered
  int reports = 0;
  int notDicom = 0;  // files under the sources that are not DICOM, ignored
  std::string profile;
  // With a medium: the room every disc takes for its programs, reports and
  // structures, and the room the examinations take, in bytes on a disc.
  unsigned long long everyDiscBytes = 0, examinationBytes = 0;
  int discs = 1;                       // more than one: a set, one folder per disc
  std::vector<std::string> discLines;  // what each disc of a set holds
  std::vector<std::string> skipped;    // one line each: what was left out, and why
  // Sources, folders and files (reports among them) that could not be read,
  // one line each; the disc was made without them.
  std::vector<std::string> unreadable;
  std::vector<std::string> warnings;  // parts of the disc left out (a program not found)
  double seconds = 0;
};

// Makes the disc. Everything is written into a sibling folder first and
// renamed to `out` at the end, so a refused, failed or cancelled run leaves
// nothing at `out`; a cancelled image removes the disc it was made of too.
// The cancel flag is looked at between files in every phase. False with the
// reason in `error` on any refusal. True also when some of the sources could
// not be read: `summary.unreadable` lists them.
bool makeDisc(const MakeDiscOptions &options, MakeDiscSummary *summary, std::string *error);

// The summary as the command prints it.
std::string summaryText(const MakeDiscSummary &summary);

// The command's exit status for a disc that was made: 0, or kMadeWithOmissions
// when some of the sources could not be read and the clinic did not accept that.
constexpr int kMadeWithOmissions = 3;
int madeStatus(const MakeDiscOptions &options, const MakeDiscSummary &summary);

}  // namespace makedisc
