// disc-station against a real archive: an Orthanc of the test's own on the
// loopback stores a patient to the station, which makes its disc, and the
// station fetches patients from it; a peer missing from the settings is
// refused. Bad input and restarts from a DCMTK client of the test's own.
#include "fetch.h"
#include "station.h"
#include "support/dicom_fixture.h"
#include "support/dicom_network.h"
#include "support/scratch_folder.h"
#include "support/standin_programs.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdicdir.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/oflog/oflog.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <arpa/inet.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <deque>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

template <typename Condition>
bool within(int seconds, Condition condition) {
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
       std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(50)))
    if (condition()) return true;
  return false;
}

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

discstation::StationSettings stationSettings(ScratchFolder &work, const std::string &out = "out") {
  OFLog::configure(OFLogger::WARN_LOG_LEVEL);  // DCMTK's line per association
  discstation::StationSettings settings;
  settings.aet = "STATION", settings.port = freePort(), settings.out = work.path(out);
  settings.idleSeconds = 3600, settings.noNavigator = true, settings.artwork = false;
  settings.allowed = {"ORTHANC@127.0.0.1"};
  settings.toolDirectory = fs::path(toolPath("make-disc-image")).parent_path().string();
  return settings;
}

struct Serving {
  discstation::Station &station;
  std::thread thread{[this] {
    std::string error;
    EXPECT_TRUE(station.run(&error)) << error;
  }};
  ~Serving() { station.stop(), thread.join(); }
};

// Every status file of the output folder, one after another.
std::string statuses(const std::string &out) {
  std::string all;
  for (fs::directory_iterator it(out), end; it != end; ++it)
    if (it->path().extension() == ".json") all += fileBytes(it->path().string());
  return all;
}

// The disc of the made job's status, once the job has ended.
std::string madeDisc(const std::string &out) {
  std::string status;
  EXPECT_TRUE(within(60, [&] {
    status = statuses(out);
    return status.find("\"state\": \"made\"") != std::string::npos ||
           status.find("failed") != std::string::npos;
  })) << status;
  const size_t named = status.find("\"disc\": \"") + 9;
  return status.substr(named, status.find('"', named) - named);
}

// The DICOM objects of a disc: each SOP instance UID with its data set's bytes.
std::map<std::string, std::string> objectsOn(const std::string &disc) {
  std::map<std::string, std::string> objects;
  for (fs::recursive_directory_iterator it(disc), end; it != end; ++it) {
    DcmFileFormat file;
    OFString sop;
    if (it->path().extension() != ".jpg" && it->path().filename() != "DICOMDIR" &&
        fs::is_regular_file(it->path()) && file.loadFile(it->path().string().c_str()).good() &&
        file.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, sop).good())
      objects[sop.c_str()] = datasetBytes(fileBytes(it->path().string()));
  }
  return objects;
}

// Every object byte for byte as Orthanc holds it, each in the DICOMDIR, each with its picture.
void expectDiscHolds(const std::string &disc, const Orthanc &orthanc,
                     const std::vector<std::string> &instances) {
  std::map<std::string, std::string> onDisc = objectsOn(disc);
  int pictures = 0;
  for (fs::recursive_directory_iterator it(disc), end; it != end; ++it)
    pictures += it->path().extension() == ".jpg";
  EXPECT_EQ(pictures, static_cast<int>(instances.size()));
  DcmDicomDir dicomdir((disc + "/DICOMDIR").c_str());
  size_t records = 0;
  for (DcmDirectoryRecord *p = dicomdir.getRootRecord().nextSub(nullptr); p;
       p = dicomdir.getRootRecord().nextSub(p))
    for (DcmDirectoryRecord *st = p->nextSub(nullptr); st; st = p->nextSub(st))
      for (DcmDirectoryRecord *se = st->nextSub(nullptr); se; se = st->nextSub(se)) records += se->cardSub();
  EXPECT_EQ(records, instances.size());
  EXPECT_EQ(onDisc.size(), instances.size());
  for (const std::string &id : instances) {
    std::string original, tags;
    ASSERT_EQ(http(orthanc.http, "GET", "/instances/" + id + "/file", "", &original), 200);
    http(orthanc.http, "GET", "/instances/" + id + "/simplified-tags", "", &tags);
    const std::string sop = jsonField(tags, "SOPInstanceUID");
    ASSERT_EQ(onDisc.count(sop), 1u) << sop;
    EXPECT_TRUE(!onDisc[sop].empty() && onDisc[sop] == datasetBytes(original)) << sop;
  }
}

// What a command line says on its outputs; 0 in `status` when it succeeded.
std::string said(const std::string &command, int *status) {
  gchar *out = nullptr, *err = nullptr;
  *status = g_spawn_command_line_sync(command.c_str(), &out, &err, status, nullptr) &&
            g_spawn_check_exit_status(*status, nullptr);
  const std::string both = std::string(out ? out : "") + (err ? err : "");
  return g_free(out), g_free(err), *status = !*status, both;
}

// Writes a CT object and uploads it to Orthanc; its Orthanc ID, and its patient's in `patient`.
std::string upload(const Orthanc &orthanc, const std::string &path, const DicomValues &values,
                   std::string *patient = nullptr, E_TransferSyntax syntax = EXS_LittleEndianExplicit) {
  std::string reply;
  EXPECT_TRUE(writeDicomFile(path, values, {syntax, true, 16}));
  EXPECT_EQ(http(orthanc.http, "POST", "/instances", fileBytes(path), &reply), 200) << reply;
  if (patient) *patient = jsonField(reply, "ParentPatient");
  return jsonField(reply, "ID");
}

TEST(DiscStation, MakesTheDiscOfWhatTheArchiveSendsAndRefusesUnknownPeers) {
  ScratchFolder work;
  const discstation::StationSettings settings = stationSettings(work);
  discstation::Station station(settings);
  Serving serving{station};
  Orthanc orthanc(settings.port);
  ASSERT_TRUE(within(60, [&] { return http(orthanc.http, "GET", "/system", "", nullptr) == 200; }));
  ASSERT_TRUE(within(10, [&] { return station.listening(); }));

  // Two studies of one patient, the second with two series.
  std::vector<std::string> instances;
  std::string patient;
  for (int i = 0; i < 4; ++i) {
    const std::string study = i ? "1.2.826.0.9.2" : "1.2.826.0.9.1";
    instances.push_back(upload(orthanc, work.path("export/" + std::to_string(i) + ".dcm"),
                               {{DCM_PatientID, "PAC-7"},
                                {DCM_PatientName, "Nowak^Anna"},
                                {DCM_Modality, "CT"},
                                {DCM_StudyDate, "20260112"},
                                {DCM_StudyTime, "101500"},
                                {DCM_StudyID, "7"},
                                {DCM_SeriesNumber, std::to_string(i % 2 + 1)},
                                {DCM_StudyInstanceUID, study},
                                {DCM_SeriesInstanceUID, study + "." + std::to_string(i % 2)},
                                {DCM_InstanceNumber, std::to_string(i + 1)}},
                               &patient, i == 3 ? EXS_LittleEndianImplicit : EXS_LittleEndianExplicit));
  }

  std::string reply;
  EXPECT_NE(http(orthanc.http, "POST", "/modalities/stranger/store", instances[0], &reply), 200) << reply;
  EXPECT_TRUE(fs::is_empty(settings.out + "/.spool/.incoming"));
  ASSERT_EQ(http(orthanc.http, "POST", "/modalities/station/store", patient, &reply), 200) << reply;
  station.makeNow();
  const std::string disc = madeDisc(settings.out);
  ASSERT_TRUE(fs::is_directory(disc)) << statuses(settings.out);
  EXPECT_TRUE(fs::exists(disc + ".iso"));
  EXPECT_EQ(fileBytes(disc + ".txt").rfind("Płyta „", 0), 0u) << fileBytes(disc + ".txt");
  struct stat mode {};
  stat(disc.c_str(), &mode);
  EXPECT_EQ(mode.st_mode & 0777, 0700u);
  EXPECT_TRUE(within(10, [&] { return fs::is_empty(settings.out + "/.spool/.making"); }));
  expectDiscHolds(disc, orthanc, instances);
  // DCMTK adds the disc's objects to a copy of its DICOMDIR under its rules
  // (the objects kept in the archive's transfer syntax), and dicom3tools'
  // checker finds nothing to say of the DICOMDIR.
  int status = -1;
  const std::string check = work.path("check");
  said("cp -r " + disc + " " + check, &status);
  const std::string updated =
      said("dcmmkdir +id " + check + " +D " + check + "/DICOMDIR +U -nb -Nxc +r DICOM", &status);
  EXPECT_TRUE(status == 0 && updated.find("E: ") == std::string::npos) << updated;
  EXPECT_EQ(said("dciodvfy " + disc + "/DICOMDIR", &status), "BasicDirectory\n");
  // The disc took the spool's files over: readable by all, no name left in the spool.
  for (fs::recursive_directory_iterator it(disc + "/DICOM"), end; it != end; ++it) {
    if (!fs::is_regular_file(it->path()) || stat(it->path().c_str(), &mode) != 0) continue;
    EXPECT_TRUE((mode.st_mode & 0777) == 0644 && mode.st_nlink == 1) << it->path();
  }
}

// By patient ID: both of the patient's studies, not the other patient's; by
// accession number: that study alone.
TEST(DiscStation, FetchesAPatientFromTheArchiveByIdAndByAccessionNumber) {
  ScratchFolder work;
  discstation::StationSettings settings = stationSettings(work);
  Orthanc orthanc(settings.port);
  ASSERT_TRUE(within(60, [&] { return http(orthanc.http, "GET", "/system", "", nullptr) == 200; }));
  std::map<std::string, std::vector<std::string>> byAccession;
  for (int i = 0; i < 4; ++i) {
    const std::string accession = i < 2 ? "ACC-1" : i == 2 ? "ACC-2" : "ACC-3";
    byAccession[accession].push_back(upload(orthanc, work.path("export/" + std::to_string(i) + ".dcm"),
                                            {{DCM_PatientID, i < 3 ? "PAC-9" : "PAC-8"},
                                             {DCM_PatientName, "Kowalski^Jan"},
                                             {DCM_Modality, "CT"},
                                             {DCM_AccessionNumber, accession},
                                             {DCM_StudyInstanceUID, "1.2.826.0.8." + accession.substr(4)},
                                             {DCM_InstanceNumber, std::to_string(i + 1)}}));
  }
  const std::vector<std::pair<discstation::FetchRequest, std::vector<std::string>>> cases = {
      {{"ORTHANC", "127.0.0.1", orthanc.dicom, "PAC-9", ""},
       {byAccession["ACC-1"][0], byAccession["ACC-1"][1], byAccession["ACC-2"][0]}},
      {{"ORTHANC", "localhost", orthanc.dicom, "", "ACC-2"}, byAccession["ACC-2"]}};
  for (size_t i = 0; i < cases.size(); ++i) {
    settings.out = work.path("out" + std::to_string(i));
    std::string error, said;
    EXPECT_TRUE(discstation::fetchAndMake(
        settings, cases[i].first, [&](const std::string &line) { said += line + "\n"; }, &error))
        << error << said;
    EXPECT_NE(said.find("Badanie 1 z "), std::string::npos) << said;
    expectDiscHolds(madeDisc(settings.out), orthanc, cases[i].second);
  }
}

// A storage client of the test's own on one association, proposing CT images.
struct Peer : DcmSCU {
  explicit Peer(int port) {
    OFLog::configure(OFLogger::WARN_LOG_LEVEL);
    setAETitle("PEER"), setPeerHostName("127.0.0.1"), setPeerPort(static_cast<Uint16>(port));
    setPeerAETitle("STATION");
    OFList<OFString> syntaxes;
    syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
    addPresentationContext(UID_CTImageStorage, syntaxes);
    addPresentationContext(UID_VerificationSOPClass, syntaxes);
  }
  // DCMTK's client takes its association parameters afresh for each association.
  bool connect() { return initNetwork().good() && negotiateAssociation().good(); }
  // The station's answer to the object, 0xFFFF when none came.
  Uint16 store(DcmDataset &object) {
    Uint16 status = 0xFFFF;
    if ((isConnected() || connect()) &&
        sendSTORERequest(findPresentationContextID(UID_CTImageStorage, ""), "", &object, status).bad())
      abortAssociation();
    return status;
  }
};

struct Sample {
  DcmFileFormat file;
  OFString sop;
  Sample(ScratchFolder &work, const DicomValues &values, int side = 16) {
    const std::string path = work.path("objects/" + uniqueTitle("object") + ".dcm");
    writeDicomFile(path, values, {EXS_LittleEndianExplicit, true, side});
    file.loadFile(path.c_str());
    file.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, sop);
  }
};

// Passes one connection on to the station and cuts it after `bytes` from the peer. Its port.
int cuttingProxy(int stationPort, size_t bytes, std::thread &thread) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0), port = freePort();
  sockaddr_in address{};
  address.sin_family = AF_INET, address.sin_addr.s_addr = htonl(INADDR_LOOPBACK),
  address.sin_port = htons(port);
  bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
  listen(listener, 1);
  thread = std::thread([=]() mutable {
    const int in = accept(listener, nullptr, nullptr), out = socket(AF_INET, SOCK_STREAM, 0);
    address.sin_port = htons(stationPort);
    connect(out, reinterpret_cast<sockaddr *>(&address), sizeof address);
    pollfd ends[2] = {{in, POLLIN, 0}, {out, POLLIN, 0}};
    char buffer[4096];
    for (size_t passed = 0; passed < bytes && poll(ends, 2, 10000) > 0;)
      for (int i = 0; i < 2; ++i) {
        const ssize_t got =
            ends[i].revents ? recv(ends[i].fd, buffer, std::min(sizeof buffer, bytes - passed), 0) : 0;
        if (ends[i].revents && got <= 0) passed = bytes;
        if (got > 0) send(ends[1 - i].fd, buffer, got, MSG_NOSIGNAL), passed += i ? 0 : got;
      }
    close(in), close(out), close(listener);
  });
  return port;
}

std::set<std::string> namesUnder(const std::string &folder) {
  std::set<std::string> names;
  for (fs::recursive_directory_iterator it(folder), end; it != end; ++it)
    if (fs::is_regular_file(it->path())) names.insert(it->path().filename().string());
  return names;
}

// Each refusal: its DICOM status to the peer, its line in a status file,
// nothing of it in the spool, and the service taking the next object.
TEST(DiscStation, AnswersBadInputWithItsStatusAndALineAndKeepsServing) {
  dicomWithoutNagle();  // the test's peers, as the station's own connections
  ScratchFolder work;
  discstation::StationSettings settings = stationSettings(work), fullSettings = stationSettings(work, "full");
  settings.allowed = fullSettings.allowed = {};
  settings.maxObjectBytes = 1 << 20, fullSettings.reserveBytes = ~0ull >> 1;
  discstation::Station station(settings), full(fullSettings);
  Serving serving{station}, servingFull{full};
  ASSERT_TRUE(within(10, [&] { return station.listening() && full.listening(); }));
  const DicomValues first = {{DCM_PatientID, "PAC-1"}, {DCM_StudyInstanceUID, "1.2.826.0.7.1"}};
  std::thread proxy;
  Peer peer(settings.port), fullPeer(fullSettings.port), cutPeer(cuttingProxy(settings.port, 32768, proxy));
  ASSERT_EQ(peer.store(*Sample(work, first).file.getDataset()), STATUS_Success);
  struct Case {
    Peer &peer;
    DicomValues object;
    int side;
    Uint16 status;
    std::string line;
  } cases[] = {
      {peer,
       {{DCM_PatientID, "PAC-2"}, {DCM_StudyInstanceUID, "1.2.826.0.7.1"}},
       16,
       STATUS_STORE_Error_CannotUnderstand,
       "należy do pacjenta „PAC-1”"},
      {peer, {{DCM_PatientID, ""}}, 16, STATUS_STORE_Error_CannotUnderstand, "brak identyfikatora pacjenta"},
      {peer, first, 1024, STATUS_STORE_Refused_OutOfResources, "obiekt większy niż 1 MB"},
      {peer,
       {{DCM_SOPClassUID, UID_RTPlanStorage}},
       16,
       STATUS_STORE_Refused_SOPClassNotSupported,
       "nie przyjmuje obiektów rodzaju"},
      {fullPeer, first, 16, STATUS_STORE_Refused_OutOfResources, "brak miejsca na dysku"},
      {cutPeer, first, 256, 0xFFFF, "przerwane w trakcie obiektu"}};
  for (Case &c : cases) {
    EXPECT_EQ(c.peer.store(*Sample(work, c.object, c.side).file.getDataset()), c.status) << c.line;
    EXPECT_TRUE(within(10, [&] {
      return (statuses(settings.out) + statuses(fullSettings.out)).find(c.line) != std::string::npos;
    })) << c.line;
    EXPECT_EQ(peer.store(*Sample(work, first).file.getDataset()), STATUS_Success) << c.line;
    peer.releaseAssociation();  // associations are served one at a time
  }
  proxy.join();
  // Associations one after another: each answered, none leaving an open file or memory behind.
  const auto openFiles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  const auto files = openFiles();
  const size_t heap = mallinfo2().uordblks;
  int answered = 0;
  for (int i = 0; i < 10000 && peer.connect(); ++i) {
    answered += peer.sendECHORequest(0).good();
    peer.releaseAssociation();
  }
  EXPECT_EQ(answered, 10000);
  EXPECT_TRUE(within(10, [&] { return openFiles() <= files; })) << openFiles() << " > " << files;
  EXPECT_LT(mallinfo2().uordblks, heap + (8u << 20));
  EXPECT_EQ(peer.store(*Sample(work, first).file.getDataset()), STATUS_Success);
  const std::set<std::string> spooled = namesUnder(settings.out + "/.spool");
  EXPECT_EQ(spooled.size(), 1u + 6 + 1 + 1);  // and the patient's job file
  EXPECT_TRUE(fs::is_empty(settings.out + "/.spool/.incoming"));
}

// The command ended by SIGTERM while a peer sends keeps every object it
// acknowledged; started again, it takes the rest and makes one disc of all.
TEST(DiscStation, KeepsWhatItAcknowledgedWhenEndedMidReceiveAndMakesTheJobOnce) {
  ScratchFolder work;
  const std::string out = work.path("out"), port = std::to_string(freePort()),
                    settings = work.path("station.conf");
  std::ofstream(settings) << "navigator =\nartwork = no\ntools = "
                          << fs::path(toolPath("make-disc-image")).parent_path().string() << "\n";
  const auto start = [&] {
    const char *argv[] = {"disc-station", "serve",     "--aet",      "STATION",        "--port", port.c_str(),
                          "--out",        out.c_str(), "--settings", settings.c_str(), nullptr};
    pid_t pid = -1;
    posix_spawn(&pid, toolPath("disc-station").c_str(), nullptr, nullptr, const_cast<char **>(argv), environ);
    return pid;
  };
  std::deque<Sample> objects;
  for (int i = 0; i < 40; ++i)
    objects.emplace_back(work,
                         DicomValues{{DCM_PatientID, "PAC-5"}, {DCM_StudyInstanceUID, "1.2.826.0.6.1"}});
  pid_t pid = start();
  struct Ending {
    pid_t &pid;
    ~Ending() { kill(pid, SIGKILL), waitpid(pid, nullptr, 0); }
  } ending{pid};
  Peer peer(std::stoi(port));
  ASSERT_TRUE(within(10, [&] { return peer.connect(); }));
  std::vector<std::string> acknowledged;
  for (size_t i = 0; i < objects.size(); ++i) {
    if (i == 10) kill(pid, SIGTERM);
    if (peer.store(*objects[i].file.getDataset()) != STATUS_Success) break;
    acknowledged.push_back(objects[i].sop.c_str());
  }
  EXPECT_TRUE(within(10, [&] { return waitpid(pid, nullptr, WNOHANG) == pid; }));
  EXPECT_LT(acknowledged.size(), objects.size());
  const std::set<std::string> spooled = namesUnder(out + "/.spool");
  for (const std::string &uid : acknowledged) EXPECT_EQ(spooled.count(uid + ".dcm"), 1u) << uid;
  pid = start();
  ASSERT_TRUE(within(10, [&] { return peer.connect(); }));
  for (Sample &object : objects) EXPECT_EQ(peer.store(*object.file.getDataset()), STATUS_Success);
  peer.releaseAssociation();
  kill(pid, SIGUSR1);
  const std::string disc = madeDisc(out);
  const auto onDisc = objectsOn(disc);
  EXPECT_EQ(onDisc.size(), objects.size());
  EXPECT_EQ(statuses(out).find("\"job\"", statuses(out).find("\"job\"") + 1), std::string::npos);
}

}  // namespace
