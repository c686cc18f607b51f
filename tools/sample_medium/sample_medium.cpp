// The sample medium generator: plans the examinations, draws and writes every
// picture on worker threads, then the DICOMDIR, the reports and the program side.
#include "sample_medium.h"

#include "dicom_files.h"
#include "examination_plan.h"
#include "jpeg_pictures.h"
#include "phantom.h"
#include "reports.h"
#include "viewer_side.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <sys/stat.h>
#include <boost/filesystem.hpp>

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#ifndef VELMORA_NAVIGATOR_PROGRAM
#define VELMORA_NAVIGATOR_PROGRAM ""
#endif

namespace fs = boost::filesystem;

namespace samplemedium {

namespace {

// One picture to make: where it goes and what it shows.
struct PictureJob {
  const StudyPlan *study;
  const SeriesPlan *series;
  int index;
  std::string dicomPath;      // relative to the medium root
  std::string referencePath;  // relative to the medium root
};

std::vector<PictureJob> pictureJobs(const ExaminationPlan &plan) {
  std::vector<PictureJob> jobs;
  for (size_t s = 0; s < plan.studies.size(); ++s) {
    const StudyPlan &study = plan.studies[s];
    const std::string studyName = mediaName("ST", static_cast<int>(s) + 1);
    for (size_t j = 0; j < study.series.size(); ++j) {
      const std::string folder = studyName + "/" + mediaName("SE", static_cast<int>(j) + 1) + "/";
      for (int i = 0; i < study.series[j].images; ++i) {
        const std::string name = mediaName("IM", i + 1);
        jobs.push_back(
            {&study, &study.series[j], i, "DICOM/" + folder + name, "REFIMG/" + folder + name + ".jpg"});
      }
    }
  }
  return jobs;
}

bool makeFolders(const std::string &root, const std::vector<PictureJob> &jobs, std::string *error) {
  for (const PictureJob &job : jobs) {
    if (job.index != 0) continue;
    for (const std::string *file : {&job.dicomPath, &job.referencePath}) {
      const std::string folder = root + "/" + fs::path(*file).parent_path().string();
      if (g_mkdir_with_parents(folder.c_str(), 0755) != 0) {
        *error = folder + ": the folder cannot be created";
        return false;
      }
    }
  }
  return true;
}

// Runs on worker threads: one picture, its DICOM file and its reference picture.
bool makePicture(const std::string &root, const Patient &patient, const PictureJob &job, std::string *error) {
  const SeriesPlan &series = *job.series;
  const Picture picture =
      drawPicture(job.study->anatomy, series.view, series.width, series.height, job.index, series.images);
  if (!writeDicomImage(root + "/" + job.dicomPath, patient, *job.study, series, job.index, picture, error))
    return false;
  const std::vector<uint8_t> grey = applyWindow(picture, series.windowCenter, series.windowWidth);
  const std::string reference = root + "/" + job.referencePath;
  if (!saveGreyJpeg(reference, grey, picture.width, picture.height, picture.width, picture.height, error))
    return false;
  // A smaller copy of the first picture, which the navigator's browser leaves out.
  if (series.withSmallPicture && job.index == 0) {
    const std::string small = reference.substr(0, reference.size() - 4) + "_small.jpg";
    const int height = std::max(1, 128 * picture.height / picture.width);
    if (!saveGreyJpeg(small, grey, picture.width, picture.height, 128, height, error)) return false;
  }
  return true;
}

bool makePictures(const std::string &root, const ExaminationPlan &plan, const std::vector<PictureJob> &jobs,
                  int threads, std::string *error) {
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex errorLock;
  auto work = [&] {
    std::string failure;
    for (size_t i = next++; i < jobs.size() && !failed; i = next++)
      if (!makePicture(root, plan.patient, jobs[i], &failure)) {
        std::lock_guard<std::mutex> hold(errorLock);
        if (!failed.exchange(true)) *error = failure;
      }
  };
  std::vector<std::thread> workers;
  for (int t = 1; t < threads; ++t) workers.emplace_back(work);
  work();
  for (std::thread &worker : workers) worker.join();
  return !failed;
}

// Files as a pressed disc shows them: nobody may write, programs may run.
// Folders stay writable by their owner so that the medium can be removed again.
void makeReadOnly(const std::string &root) {
  boost::system::error_code failure;
  for (fs::recursive_directory_iterator it(root, failure), end; !failure && it != end;
       it.increment(failure)) {
    const fs::file_status status = it->symlink_status(failure);
    if (failure) break;
    if (status.type() == fs::regular_file)
      chmod(it->path().c_str(), (status.permissions() & fs::owner_exe) ? 0555 : 0444);
    else if (status.type() == fs::directory_file)
      chmod(it->path().c_str(), 0755);
  }
}

bool usableRoot(const std::string &root, std::string *error) {
  boost::system::error_code failure;
  if (!fs::exists(root, failure)) return true;
  if (fs::is_directory(root, failure) && fs::is_empty(root, failure) && !failure) return true;
  *error = root + " exists and is not an empty folder";
  return false;
}

bool validOptions(const SampleMediumOptions &options, std::string *error) {
  if (options.studies < 1 || options.studies > 999 || options.seriesPerStudy < 0 ||
      options.seriesPerStudy > 999 || options.imagesPerSeries < 0 || options.imagesPerSeries > 99999 ||
      options.pictureSize < 16 || options.pictureSize > 4096 || options.threads < 0) {
    *error = "studies 1-999, series 0-999, images 0-99999, size 16-4096 and threads from 0 are accepted";
    return false;
  }
  return true;
}

bool generateInto(const std::string &staging, const SampleMediumOptions &options,
                  SampleMediumSummary *summary, std::string *error) {
  const ExaminationPlan plan = planExaminations(options);
  const std::vector<PictureJob> jobs = pictureJobs(plan);
  if (!makeFolders(staging, jobs, error)) return false;
  int threads = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
  // Registers the picture formats once before the workers save their first picture.
  g_slist_free(gdk_pixbuf_get_formats());
  if (!makePictures(staging, plan, jobs, std::max(threads, 1), error)) return false;
  std::vector<std::string> files;
  for (const PictureJob &job : jobs) files.push_back(job.dicomPath);
  if (!writeDicomDir(staging, files, error) || !writeReports(staging, plan, error) ||
      !writeViewerSide(staging, options, summary, error))
    return false;
  summary->studies = static_cast<int>(plan.studies.size());
  for (const StudyPlan &study : plan.studies) summary->series += static_cast<int>(study.series.size());
  summary->images = plan.imageCount();
  return true;
}

}  // namespace

std::string SampleMediumOptions::defaultNavigatorProgram() { return VELMORA_NAVIGATOR_PROGRAM; }

std::string SampleMediumOptions::defaultViewerProgram() { return VELMORA_VIEWER_PROGRAM; }

std::string SampleMediumOptions::defaultWindowsFiles() { return VELMORA_WINDOWS_MEDIUM_FILES; }

std::string SampleMediumOptions::ownProgramDirectory() {
  std::unique_ptr<gchar, decltype(&g_free)> program(g_file_read_link("/proc/self/exe", nullptr), g_free);
  if (!program) return "";
  std::unique_ptr<gchar, decltype(&g_free)> folder(g_path_get_dirname(program.get()), g_free);
  return folder.get();
}

bool generateSampleMedium(const std::string &root, const SampleMediumOptions &options,
                          SampleMediumSummary *summary, std::string *error) {
  const auto start = std::chrono::steady_clock::now();
  *summary = SampleMediumSummary();
  if (!validOptions(options, error) || !usableRoot(root, error)) return false;
  // "disc/" names the folder disc, not an entry "." inside it.
  std::string named = root;
  while (named.size() > 1 && named.back() == '/') named.pop_back();
  const fs::path target = fs::absolute(fs::path(named)).lexically_normal();
  if (target.filename_is_dot() || target.filename_is_dot_dot() || target == target.root_path()) {
    *error = root + " does not name a folder that can be made";
    return false;
  }
  const std::string parent = target.parent_path().string();
  if (g_mkdir_with_parents(parent.c_str(), 0755) != 0) {
    *error = parent + ": the folder cannot be created";
    return false;
  }
  std::string pattern = target.string() + ".partial-XXXXXX";
  if (!g_mkdtemp_full(&pattern[0], 0755)) {
    *error = pattern + ": the folder cannot be created";
    return false;
  }
  const std::string staging = pattern;
  bool made = generateInto(staging, options, summary, error);
  if (made) {
    makeReadOnly(staging);
    boost::system::error_code failure;
    if (fs::exists(target, failure)) fs::remove(target, failure);  // an empty folder, checked above
    if (rename(staging.c_str(), target.c_str()) != 0) {
      *error = target.string() + ": the finished medium cannot be moved here";
      made = false;
    }
  }
  if (!made) {
    boost::system::error_code failure;
    fs::remove_all(staging, failure);
  }
  summary->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return made;
}

}  // namespace samplemedium
