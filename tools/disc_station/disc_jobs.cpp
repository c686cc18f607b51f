#include "disc_jobs.h"

#include "disc_span.h"
#include "make_disc.h"
#include "spool.h"

#include "catalogue/dicom_text.h"
#include "platform/platform.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <boost/filesystem.hpp>

#include <sys/stat.h>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace discstation {
namespace fs = boost::filesystem;

namespace {

// A job's status is a few kilobytes; its events are bounded by the station.
const size_t kLargestStatus = 16u * 1024 * 1024;

std::string quoted(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\', out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// The value of "key" in a file writeStatus wrote: one key per line.
std::string field(const std::string &json, const std::string &key) {
  const size_t at = json.find("\n  " + quoted(key) + ": \"");
  if (at == std::string::npos) return "";
  std::string value;
  for (size_t i = at + key.size() + 8; i < json.size() && json[i] != '"'; ++i) {
    if (json[i] == '\\' && i + 1 < json.size()) ++i;
    value += json[i];
  }
  return value;
}

bool writePrivateFile(const std::string &path, const std::string &text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !out.flush()) return false;
  }
  ::chmod(temporary.c_str(), 0600);
  syncPath(temporary);
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

// The patient's name and the object count of the job's folder.
void readFolder(const std::string &folder, std::string &name, int &objects) {
  boost::system::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() != ".dcm") continue;
    ++objects;
    if (!name.empty()) continue;
    DcmFileFormat file;
    const char *value = nullptr;
    if (file.loadFile(it->path().string().c_str(), EXS_Unknown, EGL_noChange, 256).good() &&
        file.getDataset()->findAndGetString(DCM_PatientName, value).good()) {
      DicomTextDecoder decoder;
      decoder.selectFor(*file.getDataset());
      name = decoder.decodePersonName(value);
    }
  }
}

std::string summaryLine(const JobStatus &status, const std::string &name,
                        const makedisc::MakeDiscSummary &made) {
  std::ostringstream line;
  line << "Płyta „" << status.job << "” gotowa: pacjent „" << (name.empty() ? "bez nazwiska" : name)
       << "”, ID „" << status.patientId << "”, badania: " << made.studies << ", serie: " << made.series
       << ", obrazy: " << made.images << ", inne obiekty: " << made.others
       << ", obiekty przyjęte: " << status.received;
  if (!status.image.empty()) line << ", obraz płyty „" << fs::path(status.image).filename().string() << "”";
  line << ".";
  return line.str();
}

}  // namespace

bool writeStatus(const std::string &out, const JobStatus &s) {
  std::ostringstream json;
  json << "{\n  \"job\": " << quoted(s.job) << ",\n  \"patientId\": " << quoted(s.patientId)
       << ",\n  \"state\": " << quoted(s.state) << ",\n  \"received\": " << s.received
       << ",\n  \"reason\": " << quoted(s.reason) << ",\n  \"disc\": " << quoted(s.disc)
       << ",\n  \"image\": " << quoted(s.image) << ",\n  \"summary\": " << quoted(s.summary)
       << ",\n  \"events\": [";
  for (size_t i = 0; i < s.events.size(); ++i) json << (i ? ",\n    " : "\n    ") << quoted(s.events[i]);
  json << (s.events.empty() ? "]\n}\n" : "\n  ]\n}\n");
  return writePrivateFile(out + "/" + s.job + ".json", json.str());
}

bool readStatus(const std::string &out, const std::string &job, JobStatus &s) {
  std::string json;
  if (!platform::readRegularFile(out + "/" + job + ".json", kLargestStatus, json)) return false;
  s.job = job, s.patientId = field(json, "patientId"), s.state = field(json, "state");
  s.reason = field(json, "reason"), s.disc = field(json, "disc"), s.image = field(json, "image");
  s.summary = field(json, "summary");
  const size_t events = json.find("\"events\": [");
  if (events != std::string::npos) {
    std::istringstream lines(json.substr(events + 11));
    for (std::string line; std::getline(lines, line);) {
      const size_t quote = line.find('"');
      if (quote != std::string::npos && line.find(']') != 0)
        s.events.push_back(field("\n  \"e\": " + line.substr(quote), "e"));
    }
  }
  return true;
}

void addStatusEvent(const std::string &out, const std::string &job, const std::string &patientId,
                    const std::string &line) {
  JobStatus status;
  if (!readStatus(out, job, status))
    status.job = job, status.patientId = patientId, status.state = "received";
  status.events.push_back(line);
  writeStatus(out, status);
}

JobStatus makeJob(const StationSettings &settings, const std::string &job, const std::string &folder,
                  const std::atomic<bool> *cancel) {
  JobStatus status;
  readStatus(settings.out, job, status);
  status.job = job;
  const std::string disc = settings.out + "/" + job, image = settings.image ? disc + ".iso" : "";
  std::string name;
  status.received = 0;
  readFolder(folder, name, status.received);
  boost::system::error_code ec;
  // The images of a set are JOB-1.iso, JOB-2.iso, ...: the first stands for them.
  auto setImage = [&image](int disc) {
    return image.substr(0, image.size() - 4) + "-" + std::to_string(disc) + ".iso";
  };
  if (status.state == "made" && fs::exists(disc) &&
      (image.empty() || fs::exists(image) || fs::exists(setImage(1)))) {
    if (!settings.keepSpool) fs::remove_all(folder, ec);
    return status;
  }
  // A disc folder without its image, or an image without its made status, is
  // what a run ended while making left: both are made again.
  fs::remove_all(disc, ec);
  if (!image.empty()) fs::remove(image, ec);
  for (int k = 1; !image.empty() && k <= makedisc::kMostDiscs; ++k) fs::remove(setImage(k), ec);
  status.state = "making", status.reason.clear();
  writeStatus(settings.out, status);

  makedisc::MakeDiscOptions options;
  options.sources = {folder};
  options.out = disc;
  options.image = image;
  options.patientId = status.patientId;
  if (settings.noNavigator)
    options.navigatorProgram.clear();
  else if (!settings.navigatorProgram.empty())
    options.navigatorProgram = settings.navigatorProgram;
  options.artwork = settings.artwork;
  options.standIns = settings.standIns;
  options.viewerProgram = settings.viewerProgram;
  options.threads = settings.threads;
  options.medium = settings.medium;
  if (!settings.toolDirectory.empty()) options.toolDirectory = settings.toolDirectory;
  options.cancel = cancel;
  // The spool's copy goes once the disc is made: the disc takes its files over.
  options.linkSources = !settings.keepSpool;
  makedisc::MakeDiscSummary made;
  std::string error;
  if (!makedisc::makeDisc(options, &made, &error)) {
    if (cancel && cancel->load()) {
      status.state = "received";  // the next run makes it again
      writeStatus(settings.out, status);
      return status;
    }
    status.state = "failed", status.reason = error;
    writeStatus(settings.out, status);
    return status;
  }
  ::chmod(disc.c_str(), 0700);
  status.state = "made", status.disc = disc, status.image = image;
  if (made.discs > 1 && !image.empty()) status.image = setImage(1);
  status.summary = summaryLine(status, name, made);
  writePrivateFile(disc + ".txt", status.summary + "\n");
  writeStatus(settings.out, status);
  if (!settings.keepSpool) fs::remove_all(folder, ec);
  return status;
}

}  // namespace discstation
