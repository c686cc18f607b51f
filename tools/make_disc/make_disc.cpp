// The disc from an export: read, plan, copy and render on every processor,
// then reports, DICOMDIR and the program side, then the rename into place.
// makeDisc runs on the caller's thread; the copy and render jobs on the pool.
#include "make_disc.h"

#include "child_program.h"
#include "dicom_directory.h"
#include "disc_image.h"
#include "disc_plan.h"
#include "disc_readme.h"
#include "disc_reports.h"
#include "disc_span.h"
#include "examination_plan.h"
#include "export_reading.h"
#include "placeholder_picture.h"
#include "reference_pictures.h"
#include "runtime_bundle.h"
#include "viewer_side.h"
#include "web_pages.h"

#include "catalogue/worker_pool.h"
#include "imaging/dicom_decoders.h"
#include "imaging/jpeg2000.h"
#include "platform/platform.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dccodec.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/oflog/oflog.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <boost/filesystem.hpp>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

namespace fs = boost::filesystem;

namespace makedisc {

namespace {

struct JobResult {
  std::string copyFailure;  // empty: copied
  int pictures = 0;
  std::string pictureFailure;  // empty: every picture made
  bool placeholder = false;    // the frame that failed stands as a placeholder picture
};

// A report above this is not a report.
const size_t kLargestReport = 256u * 1024 * 1024;

bool writeBytes(const std::string &path, const std::string &bytes, std::string *error) {
  GError *failure = nullptr;
  if (!g_file_set_contents(path.c_str(), bytes.data(), static_cast<gssize>(bytes.size()), &failure)) {
    *error = failure->message;
    g_error_free(failure);
    return false;
  }
  return true;
}

// The copies made so far, for the DICOMDIR thread that reads them in disc order.
class FinishedCopies {
 public:
  explicit FinishedCopies(size_t count) : finished_(count, false) {}

  void finished(size_t i) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      finished_[i] = true;
    }
    changed_.notify_all();
  }

  // No copy is made after this.
  void end() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      ended_ = true;
    }
    changed_.notify_all();
  }

  // Waits until copy i is made; false if it never will be.
  bool waitFor(size_t i) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return finished_[i] || ended_; });
    return finished_[i];
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<bool> finished_;
  bool ended_ = false;
};

// A dataset stored without file meta information goes onto the disc with it,
// its own bytes in its own transfer syntax after: media readers, DICOMDIR
// checkers among them, refuse a file without it.
bool copyAsPartTen(const std::string &from, const std::string &to, std::string *why) {
  DcmFileFormat format;
  OFCondition status = format.loadFile(from.c_str());
  if (status.good())
    status = format.saveFile(to.c_str(), EXS_Unknown, EET_UndefinedLength, EGL_noChange, EPD_noChange, 0, 0,
                             EWM_createNewMeta);
  if (status.good()) return true;
  *why = status.text();
  return false;
}

bool makeFolder(const std::string &path, std::string *error) {
  if (g_mkdir_with_parents(path.c_str(), 0755) == 0) return true;
  *error = path + ": the folder cannot be created";
  return false;
}

bool hasReportSuffix(const std::string &name) {
  std::unique_ptr<gchar, decltype(&g_free)> lower(g_ascii_strdown(name.c_str(), -1), g_free);
  return g_str_has_suffix(lower.get(), ".html") || g_str_has_suffix(lower.get(), ".htm") ||
         g_str_has_suffix(lower.get(), ".pdf");
}

bool validOptions(const MakeDiscOptions &options, std::string *error) {
  if (options.sources.empty() || options.out.empty()) {
    *error = "at least one source and a target folder are needed";
    return false;
  }
  if (options.maxPictureSide < 16 || options.maxPictureSide > 65535 || options.jpegQuality < 1 ||
      options.jpegQuality > 100 || options.threads < 0) {
    *error = "picture sides 16-65535, quality 1-100 and threads from 0 are accepted";
    return false;
  }
  for (const std::string &report : options.reports)
    if (!hasReportSuffix(report) || !g_file_test(report.c_str(), G_FILE_TEST_IS_REGULAR)) {
      *error = report + ": a report must be an existing .html, .htm or .pdf file";
      return false;
    }
  if (!options.viewerProgram.empty() && !g_file_test(options.viewerProgram.c_str(), G_FILE_TEST_IS_REGULAR)) {
    *error = options.viewerProgram + ": the viewer program does not exist";
    return false;
  }
  std::uint64_t bytes = 0;
  if (!options.medium.empty() && !mediumBytes(options.medium, &bytes, error)) return false;
  if (!options.image.empty() && (g_file_test(options.image.c_str(), G_FILE_TEST_EXISTS) ||
                                 g_file_test(options.image.c_str(), G_FILE_TEST_IS_SYMLINK))) {
    *error = options.image + " exists; the image is made under a new name only";
    return false;
  }
  return true;
}

// The sibling folder everything is written into, renamed to the target at the end.
bool makeStaging(const std::string &out, fs::path *target, std::string *staging, std::string *error) {
  std::string named = out;
  while (named.size() > 1 && named.back() == '/') named.pop_back();
  *target = fs::absolute(fs::path(named)).lexically_normal();
  boost::system::error_code failure;
  if (target->filename_is_dot() || target->filename_is_dot_dot() || *target == target->root_path()) {
    *error = out + " does not name a folder that can be made";
    return false;
  }
  if (fs::exists(*target, failure) &&
      !(fs::is_directory(*target, failure) && fs::is_empty(*target, failure))) {
    *error = out + " exists and is not an empty folder";
    return false;
  }
  if (!makeFolder(target->parent_path().string(), error)) return false;
  std::string pattern = target->string() + ".partial-XXXXXX";
  if (!g_mkdtemp_full(&pattern[0], 0755)) {
    *error = pattern + ": the folder cannot be created";
    return false;
  }
  *staging = pattern;
  return true;
}

// A patient without a usable name is listed as this, and may be chosen so.
const char *const kNoName = "(no name)";

// Each patient numbered, so that one without an ID or a usable name can be
// chosen by its number too.
std::string patientList(const std::vector<ExportPatient> &patients) {
  std::string list;
  for (size_t i = 0; i < patients.size(); ++i) {
    const ExportPatient &patient = patients[i];
    list += "\n  " + std::to_string(i + 1) + ". ID " +
            (patient.id.empty() ? std::string("(none)") : patient.id) + ": " +
            (patient.name.empty() ? kNoName : patient.name) + " (" + std::to_string(patient.files) +
            (patient.files == 1 ? " file)" : " files)");
  }
  return list;
}

// The patients `chosen` names: by ID; else, among those without an ID, by the
// name listed; else by the number in the list.
std::vector<const ExportPatient *> patientsNamed(const std::vector<ExportPatient> &patients,
                                                 const std::string &chosen) {
  std::vector<const ExportPatient *> named;
  for (const ExportPatient &patient : patients)
    if (patient.id == chosen) named.push_back(&patient);
  if (!named.empty()) return named;
  for (const ExportPatient &patient : patients)
    if (patient.id.empty() && (patient.name.empty() ? kNoName : patient.name) == chosen)
      named.push_back(&patient);
  if (named.empty() && !chosen.empty() && chosen.size() < 6 &&
      chosen.find_first_not_of("0123456789") == std::string::npos) {
    const size_t number = std::stoul(chosen);
    if (number >= 1 && number <= patients.size()) named.push_back(&patients[number - 1]);
  }
  return named;
}

// The files of the one patient the disc is for.
bool choosePatient(const std::vector<ExportFile> &files, const std::string &chosen,
                   std::vector<const ExportFile *> *taken, MakeDiscSummary *summary, std::string *error) {
  const std::vector<ExportPatient> patients = patientsOf(files);
  summary->patients = static_cast<int>(patients.size());
  std::string key;
  if (!chosen.empty()) {
    // Anonymised exports may hold no IDs, nor usable names: such a patient
    // goes by the name or the number listed.
    const std::vector<const ExportPatient *> named = patientsNamed(patients, chosen);
    if (named.size() != 1) {
      *error = (named.empty()
                    ? "no files of patient " + chosen + " in the sources"
                    : chosen + " names " + std::to_string(named.size()) + " patients; choose by number") +
               "; they hold:" + patientList(patients);
      return false;
    }
    key = named.front()->key;
  } else if (patients.size() > 1) {
    *error = "the sources hold files of " + std::to_string(patients.size()) +
             " patients; a disc is for one (choose with --patient ID, the name of one without an ID, or "
             "the number listed):" +
             patientList(patients);
    return false;
  }
  for (const ExportFile &file : files)
    if (key.empty() || patientKey(file) == key) taken->push_back(&file);
  if (!key.empty()) summary->patients = 1;
  return true;
}

// Why a file gave no pictures, naming its transfer syntax, and in `shown` as
// its placeholder picture tells it. Decoders registered; on the thread that
// rendered, right after the failure.
std::string pictureFailure(const ExportFile &file, const std::string &failure, std::string *shown) {
  const DcmXfer syntax(file.transferSyntaxUid.c_str());
  const std::string name = syntax.getXfer() == EXS_Unknown ? file.transferSyntaxUid : syntax.getXferName();
  if (syntax.isEncapsulated() && !DcmCodecList::canChangeCoding(syntax.getXfer(), EXS_LittleEndianExplicit)) {
    *shown = "Ten program nie odczytuje kompresji „" + name + "”.";
    return name + ": no decoder for it here";
  }
  std::string codec = takeJpeg2000Failure();
  if (codec.empty()) {
    *shown = "Dane obrazu są uszkodzone lub zapisane w postaci, której ten program nie odczytuje.";
    return name + ": " + failure;
  }
  *shown = std::string(1, static_cast<char>(g_ascii_toupper(codec[0]))) + codec.substr(1) + ".";
  return name + ": " + failure + " (" + codec + ")";
}

// One line per series whose pictures could not all be made.
void reportPictureFailures(const DiscPlan &plan, const std::map<const ExportFile *, JobResult> &results,
                           MakeDiscSummary *summary) {
  for (const PlannedStudy &study : plan.studies)
    for (const PlannedSeries &series : study.series) {
      std::string files, reason;
      int failed = 0;
      for (const PlannedInstance &instance : series.instances) {
        const JobResult &result = results.at(instance.file);
        if (result.pictureFailure.empty()) continue;
        ++failed;
        files += (files.empty() ? "" : ", ") + instance.file->path;
        if (reason.empty()) reason = result.pictureFailure;
      }
      if (failed > 0)
        summary->skipped.push_back(series.refimgFolder + ": no pictures of " + std::to_string(failed) +
                                   (failed == 1 ? " file (" : " files (") + files +
                                   "), a placeholder saying why in their place; " + reason);
    }
}

// The reports given by the clinic, then those of the export in disc order.
bool cancelled(const MakeDiscOptions &options, std::string *error) {
  if (options.cancel == nullptr || !*options.cancel) return false;
  *error = "interrupted";
  return true;
}

// The reports' file names in `names`, in the navigator's order.
bool writeReports(const std::string &root, const MakeDiscOptions &options, const DiscPlan &plan,
                  MakeDiscSummary *summary, std::vector<std::string> &names, std::string *error) {
  for (const std::string &report : options.reports) {
    if (cancelled(options, error)) return false;
    // Read whole or not at all: a read error never leaves a report cut short.
    std::string bytes, failure;
    if (!platform::readRegularFile(report, kLargestReport, bytes, &failure)) {
      summary->unreadable.push_back(failure);
      continue;
    }
    const std::string name = reportName(fs::path(report).filename().string(), &names);
    if (g_str_has_suffix(name.c_str(), ".pdf")) {
      if (!writeBytes(root + "/" + name, bytes, error)) return false;
      continue;
    }
    std::string page;
    if (!toWindows1250(htmlBodyAsUtf8(bytes), &page, error)) {
      *error = report + ": " + *error;
      return false;
    }
    if (!writeBytes(root + "/" + name, page, error)) return false;
  }
  for (const PlannedStudy &study : plan.studies)
    for (const PlannedSeries &series : study.series)
      for (const PlannedInstance &instance : series.instances) {
        if (cancelled(options, error)) return false;
        const ExportFile &file = *instance.file;
        const std::string date = file.studyDate.empty() ? "" : "_" + file.studyDate;
        std::string content, failure;
        std::string name;
        if (isTextReport(file.sopClassUid)) {
          if (renderStructuredReport(file.path, &content, &failure)) {
            name = reportName("opis" + date + ".html", &names);
            content = toWindows1250WithReferences(content);
          }
        } else if (file.sopClassUid == UID_EncapsulatedPDFStorage) {
          if (extractEncapsulatedPdf(file.path, &content, &failure))
            name = reportName("dokument" + date + ".pdf", &names);
        } else {
          continue;
        }
        if (name.empty()) {
          summary->skipped.push_back(file.path + ": no report made (" + failure + ")");
          continue;
        }
        if (!writeBytes(root + "/" + name, content, error)) return false;
      }
  summary->reports = static_cast<int>(names.size());
  if (names.empty()) return true;
  return writeBytes(root + "/descrlist.js", descriptionListText(names), error);
}

// The reports, then the web pages that list them with the studies.
bool writeReportsAndPages(const std::string &root, const MakeDiscOptions &options, const DiscPlan &plan,
                          MakeDiscSummary *summary, std::string *error) {
  std::vector<std::string> names;
  if (!writeReports(root, options, plan, summary, names, error)) return false;
  const ExportFile &first = *plan.studies.front().series.front().instances.front().file;
  return writeWebPages(root, plan, {readableName(first), names}, error);
}

// The clinic's viewer goes into Program/ and viewer.ini names it.
bool writeClinicViewer(const std::string &root, const MakeDiscOptions &options, std::string *error) {
  const std::string name = fs::path(options.viewerProgram).filename().string();
  const std::string target = root + "/Program/" + name;
  if (!makeFolder(root + "/Program", error) ||
      !runtimebundle::copyOntoDisc(options.viewerProgram, target, 0755, error))
    return false;
  const std::string title = options.viewerWindowTitle.empty() ? name : options.viewerWindowTitle;
  return writeBytes(root + "/gtk/bin/viewer.ini",
                    "[viewer]\nviewer=Program\\" + name + "\nwindowClassName=" + title + "\n", error);
}

// A DICOMDIR file-set ID (at most 16 upper-case letters, digits or
// underscores): the start of the image's label, the same fallback included.
std::string filesetId(const std::string &label) {
  std::string id = discimage::volumeLabel(label).substr(0, 16);
  while (id.size() > 1 && id.back() == '_') id.pop_back();
  return id;
}

// The programs named as the disc carries them.
// On a disc of a set, `discNumber` ("1/3") and a line for each other disc.
bool writeReadme(const std::string &root, const MakeDiscOptions &options, const DiscPlan &plan,
                 const MakeDiscSummary &summary, bool ownViewer, std::string *error,
                 const std::string &discNumber = "", const std::vector<std::string> &otherDiscs = {}) {
  ReadmeContents readme;
  readme.discNumber = discNumber, readme.otherDiscs = otherDiscs;
  readme.contents = contentsOf(plan, summary.reports);
  readme.profile = summary.profile;
  readme.webPages = true;
  if (g_file_test((root + "/gtk/bin/velmora-brelantor").c_str(), G_FILE_TEST_IS_REGULAR))
    readme.navigator = std::string("Velmora-Brelantor ") + VELMORA_VERSION;
  readme.windowsProgram =
      g_file_test((root + "/gtk/bin/velmora-brelantor.exe").c_str(), G_FILE_TEST_IS_REGULAR);
  if (!options.viewerProgram.empty())
    readme.viewer = fs::path(options.viewerProgram).filename().string() + " (Program\\)";
  else if (ownViewer)
    readme.viewer = std::string(samplemedium::ownViewerTitle) + " " + VELMORA_VERSION;
  return writeBytes(root + "/README.TXT", readmeText(readme), error);
}

bool makeImage(const MakeDiscOptions &options, const std::string &disc, const std::string &image,
               const std::string &label, std::string *error) {
  const std::string program = options.toolDirectory + "/make-disc-image";
  if (!g_file_test(program.c_str(), G_FILE_TEST_IS_EXECUTABLE)) {
    *error = program + " not found: no image made";
    return false;
  }
  discimage::ChildSettings child;
  child.arguments = {program, disc, image};
  if (!label.empty()) child.arguments.insert(child.arguments.end(), {"--label", label});
  // Stopped by SIGTERM, it stops xorriso and removes its own files.
  child.cancel = options.cancel;
  std::string messages;
  switch (discimage::runChild(child, &messages)) {
    case discimage::ChildEnd::succeeded:
      return true;
    case discimage::ChildEnd::cancelled:
      *error = "interrupted";
      return false;
    default:
      *error = "the image was not made: " + messages;
      while (!error->empty() && error->back() == '\n') error->pop_back();
      return false;
  }
}

// A second name for `source` at `target`, where the file system has both.
bool linked(const std::string &source, const std::string &target) {
  boost::system::error_code failure;
  fs::create_hard_link(source, target, failure);
  return !failure;
}

bool writeProgramSide(const std::string &staging, const MakeDiscOptions &options, MakeDiscSummary *summary,
                      bool *ownViewer, std::string *error);
bool spanInto(const std::string &staging, const MakeDiscOptions &options, const DiscPlan &plan,
              const DirectoryProfile &profile, const std::string &setId, MakeDiscSummary *summary,
              std::string *error);

bool makeInto(const std::string &staging, const MakeDiscOptions &options, MakeDiscSummary *summary,
              std::string *error) {
  auto phase = [&](const char *name) {
    return [&options, name](size_t done, size_t total) {
      if (options.progress) options.progress(name, done, total);
    };
  };
  // The caller's thread works beside the pool's.
  WorkerPool pool(
      static_cast<unsigned>(options.threads > 0 ? options.threads : WorkerPool::processorCount()) - 1);
  const ExportScan scan = scanExport(options.sources, pool, phase("reading"), options.cancel);
  if (cancelled(options, error)) return false;
  summary->notDicom = scan.otherFiles;
  summary->unreadable = scan.unreadable;
  for (const std::string &missing : scan.missingReferences)
    summary->skipped.push_back(missing + ": named by the DICOMDIR but missing");
  if (scan.files.empty()) {
    *error = "no DICOM file found in the sources";
    return false;
  }
  std::vector<const ExportFile *> files;
  if (!choosePatient(scan.files, options.patientId, &files, summary, error)) return false;
  const DiscPlan plan = planDisc(files);
  for (const std::string &duplicate : plan.duplicates)
    summary->skipped.push_back(duplicate + ": the same object is already on the disc");

  std::vector<const PlannedInstance *> jobs;
  std::map<const PlannedInstance *, const PlannedSeries *> seriesOf;
  for (const PlannedStudy &study : plan.studies)
    for (const PlannedSeries &series : study.series) {
      if (!makeFolder(staging + "/" + series.dicomFolder, error)) return false;
      if (!series.refimgFolder.empty() && !makeFolder(staging + "/" + series.refimgFolder, error))
        return false;
      if (!series.refimgFolder.empty()) ++summary->series;
      for (const PlannedInstance &instance : series.instances) {
        jobs.push_back(&instance);
        seriesOf[&instance] = &series;
        ++(instance.file->pixelData ? summary->images : summary->others);
      }
    }
  summary->studies = static_cast<int>(plan.studies.size());

  // One job per file copies it and renders its pictures, so that the copies'
  // file creation and the rendering share both cores. The DICOMDIR, which
  // reads the copies, is made on a thread of its own as they are finished.
  std::set<std::string> transferSyntaxes;
  std::vector<DirectoryFile> directoryFiles;
  for (const PlannedInstance *job : jobs) {
    transferSyntaxes.insert(job->file->transferSyntaxUid);
    directoryFiles.push_back({job->dicomPath, true, job->file->directoryKeys});
  }
  const DirectoryProfile profile = chooseProfile(transferSyntaxes);
  summary->profile = profile.name;
  std::vector<std::string> refused;
  std::string directoryError;
  bool directoryMade = false;
  const std::string setId = filesetId(options.label.empty() ? readableName(*files.front()) : options.label);

  PictureSettings settings;
  settings.maxSide = options.maxPictureSide;
  settings.quality = options.jpegQuality;
  std::vector<JobResult> results(jobs.size());
  FinishedCopies copies(jobs.size());
  std::atomic<bool> stop{false};
  // DCMTK's errors name what the DICOMDIR refuses and why; the pictures'
  // failures are summed up per series below, so the image modules keep quiet.
  OFLog::configure(OFLogger::ERROR_LOG_LEVEL);
  for (const char *module : {"dcmtk.dcmimgle", "dcmtk.dcmimage", "dcmtk.dcmjpeg", "dcmtk.dcmjpls"})
    OFLog::getLogger(module).setLogLevel(OFLogger::FATAL_LOG_LEVEL);
  {
    DicomImageDecoders decoders;
    // A set gets a DICOMDIR per disc once it is split, after the copies.
    const bool oneDisc = options.medium.empty();
    directoryMade = !oneDisc;
    std::thread directory;
    if (oneDisc)
      directory = std::thread([&] {
        directoryMade = writeDicomDirectory(
            staging, directoryFiles, profile, setId, &refused, &directoryError,
            [&](size_t i) { return copies.waitFor(i) && !(options.cancel && *options.cancel); });
      });
    // The DICOMDIR's thread waits for copies: it is told that none will come
    // before anything leaves this block.
    struct EndOfCopies {
      FinishedCopies &copies;
      std::thread &directory;
      ~EndOfCopies() {
        copies.end();
        if (directory.joinable()) directory.join();
      }
    } endOfCopies{copies, directory};
    pool.forEach(
        jobs.size(),
        [&](size_t i) {
          const PlannedInstance &instance = *jobs[i];
          JobResult &result = results[i];
          if (options.cancel != nullptr && *options.cancel) {
            stop = true;
            return;
          }
          std::string why;
          const std::string copy = staging + "/" + instance.dicomPath;
          // A copy keeps its source's permissions; the disc's files are for everyone to read.
          // A dataset without file meta information is rewritten with it, never linked.
          const bool copied = instance.file->metaHeader
                                  ? (options.linkSources && linked(instance.file->path, copy)) ||
                                        platform::copyFileNoOverwrite(instance.file->path, copy, {}, &why)
                                  : copyAsPartTen(instance.file->path, copy, &why);
          if (!copied || (g_chmod(copy.c_str(), 0644) != 0 && !(why = g_strerror(errno)).empty())) {
            result.copyFailure = instance.file->path + ": cannot be copied (" + why + ")";
            stop = true;
            return;
          }
          copies.finished(i);
          const PlannedSeries &series = *seriesOf.at(&instance);
          if (series.refimgFolder.empty()) return;
          const ExportFile &file = *instance.file;
          const DeclaredPixels declared{file.rows,
                                        file.columns,
                                        file.samplesPerPixel,
                                        file.bitsAllocated,
                                        file.frames,
                                        file.pixelDataLength,
                                        DcmXfer(file.transferSyntaxUid.c_str()).isEncapsulated() ||
                                            file.pixelDataLength == DCM_UndefinedLength};
          const std::string folder = staging + "/" + series.refimgFolder;
          std::string shown;
          result.pictureFailure = pixelRefusal(declared, &shown);
          if (result.pictureFailure.empty()) {
            takeJpeg2000Failure();
            result.pictures =
                renderReferencePictures(instance.file->path, instance.file->frames, folder,
                                        instance.firstPicture, settings, &result.pictureFailure);
            if (!result.pictureFailure.empty())
              result.pictureFailure = pictureFailure(*instance.file, result.pictureFailure, &shown);
          }
          // The frame that failed stands in its series as a picture saying why:
          // the navigator never shows a series without pictures.
          std::string unwritten;
          if (!result.pictureFailure.empty())
            result.placeholder =
                writeJpeg(folder + "/" +
                              samplemedium::mediaName("IM", instance.firstPicture + result.pictures) + ".jpg",
                          placeholderPicture(shown, settings.maxSide), settings.quality, &unwritten);
        },
        phase("writing"), &stop);
    // The DICOMDIR may still be at work on the last copies: a phase of its own.
    if (!stop && options.progress) options.progress("DICOMDIR", 0, 1);
    copies.end();
    if (directory.joinable()) directory.join();
    if (!stop && options.progress) options.progress("DICOMDIR", 1, 1);
  }
  OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
  if (cancelled(options, error)) return false;
  for (const JobResult &result : results)
    if (!result.copyFailure.empty()) {
      *error = result.copyFailure;
      return false;
    }
  if (!directoryMade) {
    *error = directoryError;
    return false;
  }
  for (const std::string &file : refused) summary->skipped.push_back(file + ": not in the DICOMDIR");
  std::map<const ExportFile *, JobResult> byFile;
  for (size_t i = 0; i < jobs.size(); ++i) {
    summary->pictures += results[i].pictures;
    summary->placeholders += results[i].placeholder ? 1 : 0;
    byFile[jobs[i]->file] = results[i];
  }
  reportPictureFailures(plan, byFile, summary);
  if (!options.medium.empty()) return spanInto(staging, options, plan, profile, setId, summary, error);

  bool ownViewer = false;
  return writeReportsAndPages(staging, options, plan, summary, error) &&
         writeProgramSide(staging, options, summary, &ownViewer, error) &&
         writeReadme(staging, options, plan, *summary, ownViewer, error) && !cancelled(options, error);
}

bool writeProgramSide(const std::string &staging, const MakeDiscOptions &options, MakeDiscSummary *summary,
                      bool *ownViewer, std::string *error) {
  samplemedium::SampleMediumOptions side;
  side.navigatorProgram = options.navigatorProgram;
  side.toolDirectory = options.standIns ? options.toolDirectory : "";
  // The clinic's own viewer takes our viewer's place.
  if (!options.viewerProgram.empty()) side.viewerProgram.clear();
  side.artwork = options.artwork;
  side.windows = options.windows;
  samplemedium::SampleMediumSummary sideSummary;
  if (!samplemedium::writeViewerSide(staging, side, &sideSummary, error)) return false;
  summary->warnings = sideSummary.warnings;
  if (!options.viewerProgram.empty() && !writeClinicViewer(staging, options, error)) return false;
  *ownViewer = g_file_test((staging + "/" + samplemedium::ownViewerOnDisc).c_str(), G_FILE_TEST_IS_REGULAR);
  if (options.viewerProgram.empty() && !options.standIns && !*ownViewer)
    summary->warnings.push_back("no viewer on the disc (--viewer or --standins)");
  return true;
}

// The room a folder's files take on a disc.
std::uint64_t folderRoom(const std::string &folder) {
  std::uint64_t room = 0;
  boost::system::error_code failure;
  for (fs::recursive_directory_iterator walk(folder, failure), end; !failure && walk != end;
       walk.increment(failure)) {
    GStatBuf status;
    if (g_lstat(walk->path().c_str(), &status) == 0)
      room += S_ISDIR(status.st_mode) ? 2048 : roomOnDisc(static_cast<std::uint64_t>(status.st_size));
  }
  return room;
}

// The folder of disc `disc` in a set, numbered so that names sort in order.
std::string discFolderName(int disc, int count) {
  const std::string number = std::to_string(disc);
  return std::string(std::to_string(count).size() - number.size(), '0') + number;
}

// The files of the pool split into complete discs: each with its series
// (moved, never copied again), its own DICOMDIR, reports and programs.
bool spanInto(const std::string &staging, const MakeDiscOptions &options, const DiscPlan &plan,
              const DirectoryProfile &profile, const std::string &setId, MakeDiscSummary *summary,
              std::string *error) {
  std::uint64_t medium = 0;
  if (!mediumBytes(options.medium, &medium, error)) return false;
  // What every disc carries, measured on the first disc's own: the programs,
  // the clinic's reports, and room for the DICOMDIR's head, the README, the
  // description list and the image's own structures.
  const std::string probe = staging + "/.programs";
  bool ownViewer = false;
  if (!makeFolder(probe, error) || !writeProgramSide(probe, options, summary, &ownViewer, error))
    return false;
  std::uint64_t fixed = folderRoom(probe) + (1u << 20) + (64u << 10);
  for (const std::string &report : options.reports) {
    GStatBuf status;
    if (g_stat(report.c_str(), &status) == 0) fixed += roomOnDisc(static_cast<std::uint64_t>(status.st_size));
  }
  boost::system::error_code failure;
  fs::remove_all(probe, failure);
  if (fixed >= medium) {
    *error = "the medium (" + std::to_string(medium / 1000000) +
             " MB) is smaller than what every disc carries: " + std::to_string((fixed + 999999) / 1000000) +
             " MB of programs, reports and disc structures";
    return false;
  }
  // A set's DICOMDIRs are written after the copies: an interrupt is looked at between their files.
  const auto notCancelled = [&options](size_t) { return options.cancel == nullptr || !*options.cancel; };
  std::vector<std::vector<std::uint64_t>> room;
  for (const PlannedStudy &study : plan.studies) {
    room.emplace_back();
    for (const PlannedSeries &series : study.series) {
      std::uint64_t bytes = folderRoom(staging + "/" + series.dicomFolder);
      if (!series.refimgFolder.empty()) bytes += folderRoom(staging + "/" + series.refimgFolder);
      // A report object becomes a page of about its own size as well.
      else
        bytes *= 2;
      room.back().push_back(bytes);
    }
  }
  summary->everyDiscBytes = fixed;
  for (const auto &study : room)
    for (std::uint64_t bytes : study) summary->examinationBytes += bytes;
  std::vector<DiscShare> shares;
  if (!splitPlan(plan, room, medium - fixed, &shares, error)) return false;
  const int count = static_cast<int>(shares.size());
  if (count == 1) {  // It fits: one disc, as without a medium.
    std::vector<DirectoryFile> files;
    for (const PlannedStudy &study : plan.studies)
      for (const PlannedSeries &series : study.series)
        for (const PlannedInstance &instance : series.instances)
          files.push_back({instance.dicomPath, instance.file->metaHeader, instance.file->directoryKeys});
    std::vector<std::string> refused;
    if (!writeDicomDirectory(staging, files, profile, setId, &refused, error, notCancelled))
      return cancelled(options, error) && false;
    for (const std::string &file : refused) summary->skipped.push_back(file + ": not in the DICOMDIR");
    return writeReportsAndPages(staging, options, plan, summary, error) &&
           writeProgramSide(staging, options, summary, &ownViewer, error) &&
           writeReadme(staging, options, plan, *summary, ownViewer, error) && !cancelled(options, error);
  }
  // Each disc says what every other disc of the set holds.
  std::vector<DiscPlan> plans;
  std::vector<std::string> numbers, contents;
  for (int disc = 1; disc <= count; ++disc) {
    plans.push_back(planOfShare(plan, shares[disc - 1]));
    int reports = static_cast<int>(options.reports.size());
    for (const PlannedStudy &study : plans.back().studies)
      for (const PlannedSeries &series : study.series)
        for (const PlannedInstance &instance : series.instances)
          reports += isTextReport(instance.file->sopClassUid) ||
                     instance.file->sopClassUid == UID_EncapsulatedPDFStorage;
    numbers.push_back(std::to_string(disc) + "/" + std::to_string(count));
    contents.push_back(numbers.back() + ": " + describeContents(contentsOf(plans.back(), reports)));
  }
  int reports = 0;
  for (int disc = 1; disc <= count; ++disc) {
    if (cancelled(options, error)) return false;
    if (options.progress)
      options.progress("discs", static_cast<size_t>(disc - 1), static_cast<size_t>(count));
    const std::string root = staging + "/" + discFolderName(disc, count);
    const DiscPlan &own = plans[disc - 1];
    std::vector<DirectoryFile> files;
    for (const PlannedStudy &study : own.studies)
      for (const PlannedSeries &series : study.series) {
        for (const std::string *folder : {&series.dicomFolder, &series.refimgFolder}) {
          if (folder->empty()) continue;
          const std::string to = root + "/" + *folder;
          if (!makeFolder(fs::path(to).parent_path().string(), error)) return false;
          if (std::rename((staging + "/" + *folder).c_str(), to.c_str()) != 0) {
            *error = to + ": " + g_strerror(errno);
            return false;
          }
        }
        for (const PlannedInstance &instance : series.instances)
          files.push_back({instance.dicomPath, instance.file->metaHeader, instance.file->directoryKeys});
      }
    std::vector<std::string> refused;
    if (!writeDicomDirectory(root, files, profile, setId, &refused, error, notCancelled))
      return cancelled(options, error) && false;
    for (const std::string &file : refused) summary->skipped.push_back(file + ": not in the DICOMDIR");
    std::vector<std::string> others = contents;
    others.erase(others.begin() + disc - 1);
    if (!writeReportsAndPages(root, options, own, summary, error) ||
        !writeProgramSide(root, options, summary, &ownViewer, error) ||
        !writeReadme(root, options, own, *summary, ownViewer, error, numbers[disc - 1], others))
      return false;
    reports += summary->reports;
    summary->discLines.push_back(contents[disc - 1]);
  }
  // The pool's folders are empty now: every series moved to its disc.
  for (const char *pool : {"DICOM", "REFIMG"}) fs::remove_all(staging + "/" + pool, failure);
  summary->reports = reports;
  summary->discs = count;
  if (options.progress) options.progress("discs", static_cast<size_t>(count), static_cast<size_t>(count));
  return !cancelled(options, error);
}

}  // namespace

bool makeDisc(const MakeDiscOptions &options, MakeDiscSummary *summary, std::string *error) {
  const auto start = g_get_monotonic_time();
  *summary = MakeDiscSummary();
  fs::path target;
  std::string staging;
  if (!validOptions(options, error) || !makeStaging(options.out, &target, &staging, error)) return false;
  // Damaged files are reported once each in the summary, not by DCMTK's own log.
  OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
  bool made = makeInto(staging, options, summary, error);
  boost::system::error_code failure;
  // The target was found missing or an empty folder; rename() replaces no
  // more than an empty folder, so nothing another made there meanwhile is lost.
  if (made && std::rename(staging.c_str(), target.c_str()) != 0) {
    *error = target.string() + ": the finished disc cannot be moved here (" + g_strerror(errno) + ")";
    made = false;
  }
  if (!made) fs::remove_all(staging, failure);
  if (made && !options.image.empty() && summary->discs > 1) {
    // Disc k of a set: its image "NAME-k.iso", labelled with its place in the set.
    const fs::path image(options.image);
    std::vector<std::string> images;
    for (int disc = 1; made && disc <= summary->discs; ++disc) {
      const std::string folder = (target / discFolderName(disc, summary->discs)).string();
      const std::string label =
          spanLabel(options.label.empty() ? discimage::labelFromPatientData(folder) : options.label, disc,
                    summary->discs);
      const std::string path = (image.parent_path() / (image.stem().string() + "-" + std::to_string(disc) +
                                                       image.extension().string()))
                                   .string();
      made = makeImage(options, folder, path, label, error);
      if (made) images.push_back(path);
    }
    // Part of a set's images is no set.
    if (!made)
      for (const std::string &path : images) g_unlink(path.c_str());
  } else if (made && !options.image.empty()) {
    made = makeImage(options, target.string(), options.image, options.label, error);
    // Interrupted, the run leaves nothing: the disc goes with its image.
    if (!made && options.cancel != nullptr && *options.cancel) fs::remove_all(target, failure);
  }
  summary->seconds = static_cast<double>(g_get_monotonic_time() - start) / 1e6;
  return made;
}

std::string summaryText(const MakeDiscSummary &summary) {
  std::ostringstream text;
  text << "patients " << summary.patients << ", studies " << summary.studies << ", series " << summary.series
       << ", images " << summary.images << ", pictures " << summary.pictures << ", reports "
       << summary.reports << ", other objects " << summary.others;
  if (summary.placeholders > 0) text << ", placeholder pictures " << summary.placeholders;
  text << "\n";
  if (!summary.profile.empty()) text << "DICOMDIR profile: " << summary.profile << "\n";
  if (summary.everyDiscBytes > 0)
    text << "on every disc " << (summary.everyDiscBytes + 999999) / 1000000 << " MB of programs, reports and "
         << "disc structures; examinations " << (summary.examinationBytes + 999999) / 1000000 << " MB\n";
  if (summary.discs > 1) text << "discs " << summary.discs << ", one folder each:\n";
  for (const std::string &line : summary.discLines) text << "  " << line << "\n";
  if (summary.notDicom > 0) text << "not DICOM, ignored: " << summary.notDicom << " files\n";
  if (!summary.skipped.empty()) text << "skipped: " << summary.skipped.size() << "\n";
  for (const std::string &line : summary.skipped) text << "  " << line << "\n";
  if (!summary.unreadable.empty())
    text << "could not be read, left out: " << summary.unreadable.size() << "\n";
  for (const std::string &line : summary.unreadable) text << "  " << line << "\n";
  for (const std::string &line : summary.warnings) text << "warning: " << line << "\n";
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", summary.seconds);
  text << "made in " << seconds << " s\n";
  return text.str();
}

int madeStatus(const MakeDiscOptions &options, const MakeDiscSummary &summary) {
  return summary.unreadable.empty() || options.skipUnreadable ? 0 : kMadeWithOmissions;
}

}  // namespace makedisc
