// Helpers for tests that run the stand-ins of the programs on the medium.
#include "support/standin_programs.h"

#include "platform/glib_owners.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdicdir.h>
#include <dcmtk/dcmdata/dcdirrec.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <utility>

namespace testsupport {

std::string toolPath(const std::string &name) {
  UniqueString self(g_file_read_link("/proc/self/exe", nullptr));
  if (!self) return name;
  UniqueString folder(g_path_get_dirname(self.get()));
  return std::string(folder.get()) + "/../tools/bin/" + name;
}

std::string uniqueTitle(const std::string &base) {
  static std::atomic<int> counter{0};
  return base + " " + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

ChildProcess::ChildProcess(const std::vector<std::string> &arguments,
                           const std::vector<std::string> &environment) {
  std::vector<gchar *> argv;
  for (const std::string &argument : arguments) argv.push_back(const_cast<gchar *>(argument.c_str()));
  argv.push_back(nullptr);
  gchar **envp = g_get_environ();
  for (const std::string &setting : environment) {
    std::string::size_type equals = setting.find('=');
    envp =
        g_environ_setenv(envp, setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), TRUE);
  }
  started_ = g_spawn_async_with_pipes(nullptr, argv.data(), envp, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr,
                                      &pid_, nullptr, &output_, nullptr, nullptr);
  g_strfreev(envp);
}

ChildProcess::~ChildProcess() {
  end();
  if (output_ >= 0) ::close(output_);
}

bool ChildProcess::running() {
  if (!started_ || exited_) return false;
  if (::waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
  return !exited_;
}

bool ChildProcess::exitedWith(int code) {
  return !running() && exited_ && WIFEXITED(status_) && WEXITSTATUS(status_) == code;
}

void ChildProcess::end() {
  if (!running()) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, &status_, 0);
  exited_ = true;
}

std::string ChildProcess::endAndReadOutput() {
  end();
  std::string text;
  if (output_ < 0) return text;
  char buffer[4096];
  ssize_t count;
  while ((count = ::read(output_, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(count));
  return text;
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const std::string &name, const std::string &value)
    : name_(name), hadValue_(g_getenv(name.c_str()) != nullptr) {
  if (hadValue_) previous_ = g_getenv(name.c_str());
  g_setenv(name.c_str(), value.c_str(), TRUE);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  if (hadValue_)
    g_setenv(name_.c_str(), previous_.c_str(), TRUE);
  else
    g_unsetenv(name_.c_str());
}

namespace {

DcmDirectoryRecord *addRecord(DcmDirectoryRecord &parent, E_DirRecType type,
                              const std::vector<std::pair<DcmTagKey, const char *>> &values) {
  auto *record = new DcmDirectoryRecord(type, nullptr, OFFilename());
  for (const auto &value : values) record->putAndInsertString(value.first, value.second);
  parent.insertSub(record);
  return record;
}

}  // namespace

bool writeSampleDicomdir(const std::string &path) {
  DcmDicomDir dicomdir(path.c_str(), "SAMPLE");
  DcmDirectoryRecord *patient = addRecord(dicomdir.getRootRecord(), ERT_Patient,
                                          {{DCM_PatientName, "Kowalski^Jan"}, {DCM_PatientID, "P001"}});
  DcmDirectoryRecord *study = addRecord(
      *patient, ERT_Study,
      {{DCM_StudyDate, "20240131"}, {DCM_StudyDescription, "CT glowy"}, {DCM_StudyInstanceUID, "1.2.3"}});
  DcmDirectoryRecord *first = addRecord(*study, ERT_Series, {{DCM_Modality, "CT"}, {DCM_SeriesNumber, "1"}});
  addRecord(*first, ERT_Image, {{DCM_InstanceNumber, "1"}});
  addRecord(*first, ERT_Image, {{DCM_InstanceNumber, "2"}});
  DcmDirectoryRecord *second = addRecord(*study, ERT_Series, {{DCM_Modality, "SR"}, {DCM_SeriesNumber, "2"}});
  addRecord(*second, ERT_Image, {{DCM_InstanceNumber, "1"}});
  return dicomdir.write().good();
}

}  // namespace testsupport
