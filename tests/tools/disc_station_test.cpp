// disc-station against a real archive: an Orthanc of the test's own on the
// loopback stores a patient to the station, which makes its disc; a peer
// missing from the settings is refused.
#include "station.h"
#include "support/dicom_fixture.h"
#include "support/scratch_folder.h"
#include "support/standin_programs.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdicdir.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

int freePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET, address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(s, reinterpret_cast<sockaddr *>(&address), size);
  getsockname(s, reinterpret_cast<sockaddr *>(&address), &size);
  close(s);
  return ntohs(address.sin_port);
}

// One HTTP/1.0 request to the loopback: the status code, and the body in `reply`.
int http(int port, const std::string &method, const std::string &path, const std::string &body,
         std::string *reply) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET, address.sin_addr.s_addr = htonl(INADDR_LOOPBACK),
  address.sin_port = htons(port);
  if (connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) return close(s), 0;
  const std::string request =
      method + " " + path + " HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  for (size_t sent = 0; sent < request.size();)
    sent += std::max<ssize_t>(0, send(s, request.data() + sent, request.size() - sent, 0));
  std::string all;
  char buffer[65536];
  for (ssize_t got; (got = recv(s, buffer, sizeof buffer, 0)) > 0;) all.append(buffer, got);
  close(s);
  const size_t head = all.find("\r\n\r\n");
  if (reply) *reply = head == std::string::npos ? "" : all.substr(head + 4);
  return all.size() > 12 ? std::atoi(all.c_str() + 9) : 0;
}

std::string jsonField(const std::string &json, const std::string &key) {
  const size_t at = json.find("\"" + key + "\" : \"");
  return at == std::string::npos
             ? ""
             : json.substr(at + key.size() + 6, json.find('"', at + key.size() + 6) - at - key.size() - 6);
}

template <typename Condition>
bool within(int seconds, Condition condition) {
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
       std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(50)))
    if (condition()) return true;
  return false;
}

// Orthanc in the foreground with its own storage; the station is its modality
// "station", and again as "stranger", which calls with an AE the station does not know.
struct Orthanc {
  ScratchFolder folder;
  int http = freePort(), dicom = freePort();
  pid_t pid = -1;
  explicit Orthanc(int stationPort) {
    std::ofstream(folder.path("orthanc.json"))
        << "{\"Name\":\"test\",\"StorageDirectory\":\"" << folder.path("db") << "\",\"IndexDirectory\":\""
        << folder.path("db") << "\",\"HttpPort\":" << http << ",\"DicomPort\":" << dicom
        << ",\"RemoteAccessAllowed\":false,\"AuthenticationEnabled\":false,\"DicomAet\":\"ORTHANC\","
        << "\"Plugins\":[],\"DicomModalities\":{\"station\":[\"STATION\",\"127.0.0.1\"," << stationPort
        << "],\"stranger\":{\"AET\":\"STATION\",\"Host\":\"127.0.0.1\",\"Port\":" << stationPort
        << ",\"LocalAet\":\"STRANGER\"}}}";
    pid = fork();
    if (pid == 0) {
      freopen(folder.path("orthanc.log").c_str(), "w", stdout);
      freopen(folder.path("orthanc.log").c_str(), "a", stderr);
      execl("/usr/sbin/Orthanc", "Orthanc", folder.path("orthanc.json").c_str(), nullptr);
      _exit(127);
    }
  }
  ~Orthanc() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

std::string fileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What follows the file meta group: the object as its sender encoded it.
std::string datasetBytes(const std::string &file) {
  if (file.size() < 144 || file.compare(128, 4, "DICM") != 0) return "";
  uint32_t group = 0;
  memcpy(&group, file.data() + 140, 4);
  return file.substr(144 + group);
}

TEST(DiscStation, MakesTheDiscOfWhatTheArchiveSendsAndRefusesUnknownPeers) {
  ScratchFolder work;
  discstation::StationSettings settings;
  settings.aet = "STATION", settings.port = freePort(), settings.out = work.path("out");
  settings.idleSeconds = 3600, settings.noNavigator = true, settings.artwork = false;
  settings.allowed = {"ORTHANC@127.0.0.1"};
  settings.toolDirectory = fs::path(toolPath("make-disc-image")).parent_path().string();
  discstation::Station station(settings);
  struct Serving {
    discstation::Station &station;
    std::thread thread{[this] {
      std::string error;
      EXPECT_TRUE(station.run(&error)) << error;
    }};
    ~Serving() { station.stop(), thread.join(); }
  } serving{station};
  Orthanc orthanc(settings.port);
  ASSERT_TRUE(within(60, [&] { return http(orthanc.http, "GET", "/system", "", nullptr) == 200; }));
  ASSERT_TRUE(within(10, [&] { return station.listening(); }));

  // Two studies of one patient, the second with two series.
  std::vector<std::string> instances;
  std::string patient;
  for (int i = 0; i < 4; ++i) {
    const std::string path = work.path("export/" + std::to_string(i) + ".dcm"),
                      study = i ? "1.2.826.0.9.2" : "1.2.826.0.9.1";
    ASSERT_TRUE(writeDicomFile(path,
                               {{DCM_PatientID, "PAC-7"},
                                {DCM_PatientName, "Nowak^Anna"},
                                {DCM_Modality, "CT"},
                                {DCM_StudyInstanceUID, study},
                                {DCM_SeriesInstanceUID, study + "." + std::to_string(i % 2)},
                                {DCM_InstanceNumber, std::to_string(i + 1)}},
                               {i == 3 ? EXS_LittleEndianImplicit : EXS_LittleEndianExplicit, true, 16}));
    std::string reply;
    ASSERT_EQ(http(orthanc.http, "POST", "/instances", fileBytes(path), &reply), 200) << reply;
    instances.push_back(jsonField(reply, "ID"));
    patient = jsonField(reply, "ParentPatient");
  }

  std::string reply;
  EXPECT_NE(http(orthanc.http, "POST", "/modalities/stranger/store", instances[0], &reply), 200) << reply;
  EXPECT_TRUE(fs::is_empty(settings.out + "/.spool/.incoming"));
  ASSERT_EQ(http(orthanc.http, "POST", "/modalities/station/store", patient, &reply), 200) << reply;
  station.makeNow();
  std::string status;
  EXPECT_TRUE(within(60, [&] {
    for (fs::directory_iterator it(settings.out), end; it != end; ++it)
      if (it->path().extension() == ".json") status = fileBytes(it->path().string());
    return status.find("\"state\": \"made\"") != std::string::npos ||
           status.find("failed") != std::string::npos;
  })) << status;
  EXPECT_NE(status.find("\"state\": \"made\""), std::string::npos) << status;
  const size_t named = status.find("\"disc\": \"") + 9;
  const std::string disc = status.substr(named, status.find('"', named) - named);
  ASSERT_TRUE(fs::is_directory(disc)) << status;
  EXPECT_TRUE(fs::exists(disc + ".iso"));
  EXPECT_EQ(fileBytes(disc + ".txt").rfind("Płyta „", 0), 0u) << fileBytes(disc + ".txt");
  struct stat mode {};
  stat(disc.c_str(), &mode);
  EXPECT_EQ(mode.st_mode & 0777, 0700u);
  EXPECT_TRUE(within(10, [&] { return fs::is_empty(settings.out + "/.spool/.making"); }));

  // Every object byte for byte as Orthanc holds it, each in the DICOMDIR, each with its picture.
  std::map<std::string, std::string> onDisc;
  int pictures = 0;
  for (fs::recursive_directory_iterator it(disc), end; it != end; ++it) {
    if (it->path().extension() == ".jpg") ++pictures;
    DcmFileFormat file;
    OFString sop;
    if (it->path().filename() != "DICOMDIR" && fs::is_regular_file(it->path()) &&
        file.loadFile(it->path().string().c_str()).good() &&
        file.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, sop).good())
      onDisc[sop.c_str()] = datasetBytes(fileBytes(it->path().string()));
  }
  EXPECT_EQ(pictures, 4);
  DcmDicomDir dicomdir((disc + "/DICOMDIR").c_str());
  int records = 0;
  for (DcmDirectoryRecord *p = dicomdir.getRootRecord().nextSub(nullptr); p;
       p = dicomdir.getRootRecord().nextSub(p))
    for (DcmDirectoryRecord *st = p->nextSub(nullptr); st; st = p->nextSub(st))
      for (DcmDirectoryRecord *se = st->nextSub(nullptr); se; se = st->nextSub(se)) records += se->cardSub();
  EXPECT_EQ(records, 4);
  for (const std::string &id : instances) {
    std::string original, tags;
    ASSERT_EQ(http(orthanc.http, "GET", "/instances/" + id + "/file", "", &original), 200);
    http(orthanc.http, "GET", "/instances/" + id + "/simplified-tags", "", &tags);
    const std::string sop = jsonField(tags, "SOPInstanceUID");
    ASSERT_EQ(onDisc.count(sop), 1u) << sop;
    EXPECT_TRUE(!onDisc[sop].empty() && onDisc[sop] == datasetBytes(original)) << sop;
  }
}

}  // namespace
