// The disc tools on hostile exports and signals: nothing half-written left, nothing left out unsaid.
#include "disc_image.h"
#include "export_reading.h"
#include "make_disc.h"
#include "reference_pictures.h"
#include "support/dicom_fixture.h"
#include "support/scoped_medium.h"
#include "support/standin_programs.h"

#include "platform/platform.h"

#include <dcmtk/dcmdata/dcfilefo.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <boost/filesystem.hpp>

#include <csignal>
#include <set>

namespace {
using namespace testsupport;
namespace fs = boost::filesystem;

void writeSeries(const ScopedMedium &medium, const std::string &folder, int count,
                 const char *series = "1.2.3.4") {
  const DicomValues values = {{DCM_PatientName, "Nowak^Anna"},
                              {DCM_Modality, "CT"},
                              {DCM_StudyInstanceUID, "1.2.3"},
                              {DCM_SeriesInstanceUID, series}};
  for (int i = 1; i <= count; ++i)
    ASSERT_TRUE(writeDicomFile(medium.path(folder + "/" + std::to_string(i)), values));
}

makedisc::MakeDiscOptions discOptions(const ScopedMedium &medium) {
  makedisc::MakeDiscOptions options;
  options.sources = {medium.path("export")}, options.out = medium.path("disc");
  options.navigatorProgram = "", options.artwork = false;
  return options;
}

std::set<std::string> namesIn(const std::string &folder) {
  std::set<std::string> names;
  for (fs::directory_iterator it(folder), end; it != end; ++it) names.insert(it->path().filename().string());
  return names;
}

// A program's exit status and output; SIGTERM once `stopWhen` holds. The test's time-out bounds it.
std::pair<int, std::string> runProgram(const std::vector<std::string> &arguments,
                                       const std::function<bool()> &stopWhen = {}) {
  std::vector<char *> argv;
  for (const std::string &argument : arguments) argv.push_back(const_cast<char *>(argument.c_str()));
  argv.push_back(nullptr);
  int pipe[2];
  EXPECT_EQ(pipe2(pipe, O_CLOEXEC), 0);
  const pid_t pid = fork();
  if (pid == 0 && dup2(pipe[1], 1) == 1 && dup2(pipe[1], 2) == 2) execvp(argv[0], argv.data());
  if (pid == 0) _exit(127);
  close(pipe[1]);
  std::pair<int, std::string> run;
  for (bool stopped = false;;) {
    pollfd readable = {pipe[0], POLLIN, 0};
    char buffer[4096];
    ssize_t got = poll(&readable, 1, 10) > 0 ? read(pipe[0], buffer, sizeof buffer) : -1;
    if (got == 0) break;
    if (got > 0) run.second.append(buffer, static_cast<size_t>(got));
    if (!stopped && stopWhen && stopWhen()) stopped = kill(pid, SIGTERM) == 0;
  }
  int status = 0;
  waitpid(pid, &status, 0), close(pipe[0]);
  run.first = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(HostileExports, UnreadableFoldersFilesAndReportsAreListedAndTheDiscIsMadeWithOmissions) {
  ScopedMedium medium;
  for (const char *folder : {"export/a", "export/System Volume Information", "export/z"})
    writeSeries(medium, folder, 2);
  ASSERT_EQ(runProgram({"chown", "-R", "65534:65534", medium.root()}).first,
            0);  // for nobody, whom modes bind
  chmod(medium.path("export/System Volume Information").c_str(), 0);
  chmod(medium.path("export/z/2").c_str(), 0);
  medium.writeFile("dobry.html", "<body>Opis</body>");
  // Reading this report fails with an input/output error, as a failing stick does.
  ASSERT_EQ(symlink("/proc/self/mem", medium.path("opis.html").c_str()), 0);
  const std::vector<std::tuple<std::string, int, std::string>> cases = {
      {"--threads=2", makedisc::kMadeWithOmissions,
       "disc: the disc is made with omissions: 3 folders or files"},
      {"--skip-unreadable", 0, "disc: the disc is ready, without what could not be read"}};
  for (const auto &[option, status, verdict] : cases) {
    fs::remove_all(medium.path("disc"));
    const auto [exit, output] =
        runProgram({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", toolPath("make-disc"),
                    medium.path("export"), "--out", medium.path("disc"), "--navigator=", "--no-artwork",
                    "--report", medium.path("opis.html"), "--report", medium.path("dobry.html"), option});
    EXPECT_EQ(exit, status) << output;
    for (const std::string &line : {"  " + medium.path("export/System Volume Information/") + "\n",
                                    "  " + medium.path("export/z/2") + "\n",
                                    "  " + medium.path("opis.html") + ": " + g_strerror(EIO) + "\n", verdict})
      EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(medium.path("disc/DICOM")), {}), 2 + 3);
    EXPECT_EQ(readFile(medium.path("disc/descrlist.js")), "var descriptions = [\"dobry.html\"];\n");
    EXPECT_FALSE(fs::exists(medium.path("disc/opis.html")));
  }
}

TEST(HostileExports, FramesClaimingMorePixelsThanTheyHoldOrTheLimitsAllowAreRefusedBeforeDecoding) {
  ScopedMedium medium;
  writeSeries(medium, "export/a", 1);
  writeSeries(medium, "export/b", 1, "1.2.3.5");
  DcmFileFormat file;  // 636 bytes that claim 65535 x 65535 pixels
  ASSERT_TRUE(file.loadFile(medium.path("export/b/1").c_str()).good());
  for (const DcmTagKey &side : {DCM_Rows, DCM_Columns}) file.getDataset()->putAndInsertUint16(side, 65535);
  ASSERT_TRUE(file.saveFile(medium.path("export/b/1").c_str(), EXS_LittleEndianExplicit).good());
  makedisc::MakeDiscSummary summary;
  std::string error;
  ASSERT_TRUE(makedisc::makeDisc(discOptions(medium), &summary, &error));
  EXPECT_EQ(summary.skipped,
            std::vector<std::string>{"REFIMG/ST000001/SE000002: no pictures of 1 file (" +
                                     medium.path("export/b/1") +
                                     "), a placeholder saying why in their place; the pixel data hold 128 " +
                                     "bytes, fewer than the 8589672450 its frames declare"});
  EXPECT_EQ(makedisc::pixelRefusal({8192, 8193, 1, 8, 1, 1000, true}).find("a frame of 8193 x 8192"), 0u);
}

TEST(HostileExports, AnInterruptionInEveryPhaseEndsTheRunBetweenFilesWithNothingLeft) {
  ScopedMedium medium;
  writeSeries(medium, "export/a", 200);
  for (const char *phase : {"reading", "writing", "DICOMDIR"}) {
    std::atomic<bool> cancel{false};
    makedisc::MakeDiscOptions options = discOptions(medium);
    options.cancel = &cancel;
    options.progress = [&](const std::string &now, size_t, size_t) { cancel = cancel || now == phase; };
    makedisc::MakeDiscSummary summary;
    std::string error;
    makedisc::makeDisc(options, &summary, &error);
    EXPECT_EQ(error + ", " + phase, std::string("interrupted, ") + phase);
    EXPECT_EQ(namesIn(medium.root()), (std::set<std::string>{"export"})) << phase;
  }
}

TEST(HostileExports, SigtermWhileTheImageIsWrittenStopsXorrisoAndRemovesEveryPartialFile) {
  ScopedMedium medium;
  writeSeries(medium, "export/a", 1);
  medium.writeFile("folder/Program/viewer.exe", "");  // sparse, and long to write
  ASSERT_EQ(truncate(medium.path("folder/Program/viewer.exe").c_str(), 128 << 20), 0);
  const std::vector<std::vector<std::string>> commands = {
      {toolPath("make-disc-image"), medium.path("folder"), medium.path("out.iso")},
      {toolPath("make-disc"), medium.path("export"), "--out", medium.path("disc"), "--image",
       medium.path("out.iso"), "--viewer", medium.path("folder/Program/viewer.exe"),
       "--navigator=", "--no-artwork"}};
  for (const std::vector<std::string> &command : commands) {
    const auto [exit, output] = runProgram(command, [&] {
      for (const std::string &name : namesIn(medium.root()))
        if (name.rfind("out.iso.partial-", 0) == 0 && fs::file_size(medium.path(name)) > 0) return true;
      return false;
    });
    EXPECT_EQ(exit, 1) << output;
    EXPECT_NE(output.find("interrupted"), std::string::npos) << output;
    EXPECT_EQ(namesIn(medium.root()), (std::set<std::string>{"export", "folder"}));
  }
}

TEST(HostileExports, LinksInsideTheDiscFolderAreStoredRelativeAndOnesLeavingItAreRefused) {
  ScopedMedium medium;
  medium.writeFile("folder/gtk/bin/program", "#!/bin/sh\n");
  ASSERT_EQ(symlink(medium.path("folder/gtk/bin/program").c_str(), medium.path("folder/start").c_str()), 0);
  std::string error;
  ASSERT_TRUE(discimage::makeDiscImage(medium.path("folder"), medium.path("a.iso"), "", &error)) << error;
  const std::string listing =
      runProgram({"xorriso", "-no_rc", "-indev", medium.path("a.iso"), "-lsl", "/start"}).second;
  EXPECT_NE(listing.find("'/start' -> 'gtk/bin/program'"), std::string::npos) << listing;
  ASSERT_EQ(symlink("../../outside", medium.path("folder/gtk/away").c_str()), 0);
  EXPECT_FALSE(discimage::makeDiscImage(medium.path("folder"), medium.path("b.iso"), "", &error));
  EXPECT_EQ(error, "gtk/away: the link leads out of the disc folder, refused");
  EXPECT_EQ(namesIn(medium.root()), (std::set<std::string>{"a.iso", "folder"}));
}

TEST(HostileExports, CopiesAreCheckedTheImageReplacesNothingAndTheLabelReadsIso2022Names) {
  ScopedMedium medium;
  // A file whose size says 0 but which holds bytes, as a damaged medium may show.
  std::string error;
  EXPECT_FALSE(platform::copyFileNoOverwrite("/proc/self/status", medium.path("status"), {}, &error));
  EXPECT_EQ(error, "plik zmienił się w trakcie kopiowania");
  medium.writeFile("source", std::string(300000, 'x'));
  ASSERT_EQ(chmod(medium.path("source").c_str(), 0640), 0);
  EXPECT_FALSE(platform::copyFileNoOverwrite(medium.path("source"), medium.path("stopped"),
                                             [](std::uint64_t copied) { return copied < 100000; }));
  EXPECT_EQ(namesIn(medium.root()), std::set<std::string>{"source"});
  ASSERT_TRUE(platform::copyFileNoOverwrite(medium.path("source"), medium.path("copy")));
  struct stat copy = {};
  ASSERT_EQ(stat(medium.path("copy").c_str(), &copy), 0);
  EXPECT_EQ(copy.st_mode & 0777, 0640u);
  EXPECT_EQ(copy.st_size, 300000);
  ASSERT_EQ(unlink(medium.path("copy").c_str()), 0);
  ASSERT_EQ(unlink(medium.path("source").c_str()), 0);
  DcmFileFormat directory;
  DcmItem *record = nullptr;
  directory.getDataset()->putAndInsertString(DCM_SpecificCharacterSet, "\\ISO 2022 IR 87");
  directory.getDataset()->findOrCreateSequenceItem(DCM_DirectoryRecordSequence, record, 0);
  record->putAndInsertString(DCM_DirectoryRecordType, "PATIENT");
  record->putAndInsertString(DCM_PatientName, "Yamada^Tarou=\x1B$B;3ED\x1B(B^\x1B$BB@O:\x1B(B");
  ASSERT_TRUE(directory.saveFile(medium.path("DICOMDIR").c_str(), EXS_LittleEndianExplicit).good());
  EXPECT_EQ(discimage::labelFromPatientData(medium.root()), "YAMADA_TAROU");
  // An image already there stays as it is.
  medium.writeFile("out.iso", "someone else's");
  EXPECT_FALSE(discimage::makeDiscImage(medium.root(), medium.path("out.iso"), "", &error));
  EXPECT_EQ(error, medium.path("out.iso") + " exists; the image is made under a new name only");
  EXPECT_EQ(readFile(medium.path("out.iso")), "someone else's");
}
}  // namespace
