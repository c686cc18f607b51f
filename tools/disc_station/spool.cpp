#include "spool.h"

#include <boost/filesystem.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace discstation {
namespace fs = boost::filesystem;

namespace {

// `made` tells whether the folder is new: its parent then has to be flushed too.
bool makeFolder(const std::string &path, std::string *error, bool *made = nullptr) {
  const bool fresh = ::mkdir(path.c_str(), 0700) == 0;
  if (!fresh && errno != EEXIST) {
    *error = "Nie można utworzyć folderu „" + path + "”: " + std::strerror(errno) + ".";
    return false;
  }
  if (made) *made = fresh;
  // A folder the station made is its own already; one found is made so.
  if (!made || !fresh) ::chmod(path.c_str(), 0700);
  return true;
}

// UIDs hold digits and dots; anything else would let a peer name a path.
std::string safeUid(const std::string &uid) {
  std::string safe;
  for (char c : uid)
    if ((c >= '0' && c <= '9') || c == '.') safe += c;
  if (safe.empty() || safe == "." || safe == "..") safe = "x" + Spool::hex(uid).substr(0, 60);
  return safe;
}

std::vector<std::string> folderNames(const std::string &path) {
  std::vector<std::string> names;
  boost::system::error_code ec;
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.empty() && name[0] != '.' && fs::is_directory(it->path())) names.push_back(name);
  }
  return names;
}

}  // namespace

bool syncPath(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

std::string Spool::hex(const std::string &text) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) out += digits[c >> 4], out += digits[c & 15];
  return out;
}

std::string Spool::unhex(const std::string &text) {
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
  return out;
}

bool Spool::open(std::string *error) {
  fs::path parent = fs::path(root_).parent_path();
  boost::system::error_code ec;
  if (!parent.empty()) fs::create_directories(parent, ec);
  return makeFolder(root_, error) && makeFolder(root_ + "/.incoming", error) &&
         makeFolder(root_ + "/.making", error);
}

std::string Spool::incomingName() {
  return root_ + "/.incoming/" + std::to_string(::getpid()) + "-" + std::to_string(++counter_) + ".part";
}

bool Spool::place(const std::string &incoming, const std::string &patientId, const std::string &studyUid,
                  const std::string &sopUid, const std::string &jobForNew, std::string *job,
                  std::string *error) {
  // The object itself is flushed by its writer; here only the names that
  // lead to it are. Each flush waits for the disk, so a folder is flushed
  // only when it changed: the study's always (the object's new name), the
  // patient's and the spool's when a folder was made in them.
  const std::string patient = root_ + "/" + hex(patientId), study = patient + "/" + safeUid(studyUid);
  bool newPatient = false, newStudy = false;
  if (!makeFolder(patient, error, &newPatient)) return false;
  const std::string jobFile = patient + "/job";
  if (newPatient || !fs::exists(jobFile)) {
    std::ofstream(jobFile) << jobForNew;
    ::chmod(jobFile.c_str(), 0600);
    syncPath(jobFile);
  }
  *job = jobOf(patientId);
  if (!makeFolder(study, error, &newStudy)) return false;
  const std::string target = study + "/" + safeUid(sopUid) + ".dcm";
  if (::rename(incoming.c_str(), target.c_str()) != 0) {
    *error = std::string("nie można przenieść obiektu: ") + std::strerror(errno);
    return false;
  }
  if (!syncPath(study) || ((newStudy || newPatient) && !syncPath(patient)) ||
      (newPatient && !syncPath(root_))) {
    // Refused, so not kept: the peer sends it again.
    *error = std::string("zapis na dysk nie powiódł się: ") + std::strerror(errno);
    ::unlink(target.c_str());
    return false;
  }
  return true;
}

std::vector<std::string> Spool::waitingPatients() const {
  std::vector<std::string> ids;
  for (const std::string &name : folderNames(root_)) ids.push_back(unhex(name));
  return ids;
}

std::string Spool::jobOf(const std::string &patientId) const {
  std::ifstream in(root_ + "/" + hex(patientId) + "/job");
  std::string job;
  std::getline(in, job);
  return job;
}

std::vector<std::string> Spool::studiesOf(const std::string &patientId) const {
  return folderNames(root_ + "/" + hex(patientId));
}

std::string Spool::takeForMaking(const std::string &patientId) {
  const std::string job = jobOf(patientId);
  if (job.empty()) return "";
  const std::string target = makingFolder(job);
  if (::rename((root_ + "/" + hex(patientId)).c_str(), target.c_str()) != 0) return "";
  syncPath(root_ + "/.making");
  syncPath(root_);
  return target;
}

std::vector<std::string> Spool::jobsBeingMade() const { return folderNames(root_ + "/.making"); }

void Spool::clearIncoming() {
  boost::system::error_code ec;
  for (fs::directory_iterator it(root_ + "/.incoming", ec), end; !ec && it != end; it.increment(ec))
    fs::remove(it->path(), ec);
}

}  // namespace discstation
