#include "station.h"

#include "disc_jobs.h"
#include "spool.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcostrma.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/assoc.h>
#include <dcmtk/dcmnet/dcmtrans.h>
#include <dcmtk/dcmnet/dimse.h>
#include <dcmtk/dcmnet/diutil.h>

#include <boost/filesystem.hpp>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>

namespace discstation {

namespace {

using Clock = std::chrono::steady_clock;

const char *kTransferSyntaxes[] = {UID_LittleEndianExplicitTransferSyntax,
                                   UID_LittleEndianImplicitTransferSyntax,
                                   UID_BigEndianExplicitTransferSyntax,
                                   UID_DeflatedExplicitVRLittleEndianTransferSyntax,
                                   UID_JPEGProcess1TransferSyntax,
                                   UID_JPEGProcess2_4TransferSyntax,
                                   UID_JPEGProcess14TransferSyntax,
                                   UID_JPEGProcess14SV1TransferSyntax,
                                   UID_JPEGLSLosslessTransferSyntax,
                                   UID_JPEGLSLossyTransferSyntax,
                                   UID_JPEG2000LosslessOnlyTransferSyntax,
                                   UID_JPEG2000TransferSyntax,
                                   UID_RLELosslessTransferSyntax,
                                   UID_MPEG2MainProfileAtMainLevelTransferSyntax,
                                   UID_MPEG4HighProfileLevel4_1TransferSyntax};

const char *const kDocumentClasses[] = {UID_BasicTextSRStorage,
                                        UID_EnhancedSRStorage,
                                        UID_ComprehensiveSRStorage,
                                        UID_Comprehensive3DSRStorage,
                                        UID_ExtensibleSRStorage,
                                        UID_MammographyCADSRStorage,
                                        UID_KeyObjectSelectionDocumentStorage,
                                        UID_ChestCADSRStorage,
                                        UID_XRayRadiationDoseSRStorage,
                                        UID_RadiopharmaceuticalRadiationDoseSRStorage,
                                        UID_ColonCADSRStorage,
                                        UID_AcquisitionContextSRStorage,
                                        UID_SimplifiedAdultEchoSRStorage,
                                        UID_PatientRadiationDoseSRStorage,
                                        UID_EnhancedXRayRadiationDoseSRStorage,
                                        UID_EncapsulatedPDFStorage};

std::string jobName(const std::string &patientId) {
  std::string safe;
  for (char c : patientId)
    safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '-') && safe.size() < 32 ? c : '_';
  if (safe.empty()) safe = "pacjent";
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
  static std::atomic<unsigned> serial{0};
  return safe + "-" + stamp + "-" + std::to_string(++serial);
}

// Writes a received data set straight to the spool's file, and keeps no more
// once it passes the station's size limit or the disk fails: the rest is
// read and dropped, so the peer still gets its answer and the spool never
// holds the excess. (A short write would make DCMTK wait for more of an
// object whose last fragment it already has.)
class SpoolConsumer : public DcmConsumer {
 public:
  SpoolConsumer(int fd, unsigned long long limit) : fd_(fd), limit_(limit) {}
  OFBool good() const override { return OFTrue; }
  OFCondition status() const override { return EC_Normal; }
  OFBool isFlushed() const override { return OFTrue; }
  offile_off_t avail() const override { return 1 << 30; }
  offile_off_t write(const void *buffer, offile_off_t length) override {
    if (written_ + static_cast<unsigned long long>(length) > limit_) tooBig_ = true;
    for (offile_off_t done = 0; !tooBig_ && !error_ && done < length;) {
      const ssize_t put = ::write(fd_, static_cast<const char *>(buffer) + done, length - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) error_ = put < 0 ? errno : EIO;
      done += put > 0 ? put : 0;
    }
    written_ += length;
    return length;
  }
  void flush() override {}
  bool tooBig() const { return tooBig_; }
  int error() const { return error_; }

 private:
  int fd_;
  unsigned long long limit_, written_ = 0;
  bool tooBig_ = false;
  int error_ = 0;
};

class SpoolStream : public DcmOutputStream {
 public:
  explicit SpoolStream(SpoolConsumer &consumer) : DcmOutputStream(&consumer) {}
};

struct NetworkDrop {
  void operator()(T_ASC_Network *network) const { ASC_dropNetwork(&network); }
};
struct AssociationDrop {
  void operator()(T_ASC_Association *association) const {
    ASC_dropSCPAssociation(association);
    ASC_destroyAssociation(&association);
  }
};
using Association = std::unique_ptr<T_ASC_Association, AssociationDrop>;

// A peer silent this long between its commands is dropped, so one that went
// away without a word does not hold the station (associations are served one at a time).
constexpr int kSilentPeerSeconds = 30;

// Every answer goes out at once. With Nagle's algorithm on, as DCMTK leaves
// it unless told otherwise, the tail of a response waits for the peer's
// delayed acknowledgement (40 ms on Linux): each object and each association
// would cost that, on an idle loopback too.
// DCMTK keeps the connection's socket to its subclasses; a member pointer
// taken through one reaches it on any connection.
struct SocketOf : DcmTransportConnection {
  static constexpr auto get = &SocketOf::getSocket;
};

void sendAtOnce(T_ASC_Association *association) {
  DcmTransportConnection *connection = DUL_getTransportConnection(association->DULassociation);
  const int on = 1;
  if (connection) setsockopt((connection->*SocketOf::get)(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

std::vector<const char *> acceptedClasses() {
  std::vector<const char *> classes;
  for (int i = 0; i < numberOfDcmImageSOPClassUIDs; ++i)
    if (dcmImageSOPClassUIDs[i]) classes.push_back(dcmImageSOPClassUIDs[i]);
  for (const char *uid : kDocumentClasses) classes.push_back(uid);
  classes.push_back(UID_VerificationSOPClass);
  return classes;
}

}  // namespace

struct Station::Impl {
  StationSettings settings;
  Spool spool;
  std::atomic<bool> stopping{false}, makeAll{false};
  std::mutex mutex;
  std::condition_variable wake, settled;
  std::map<std::string, Clock::time_point> lastObject;  // patient ID -> its last object
  std::map<std::string, std::string> studyPatient;      // study UID -> the patient it was received for
  bool making = true;                                   // until the jobs a previous run left are made
  Station *owner = nullptr;
  std::unique_ptr<T_ASC_Network, NetworkDrop> network;
  std::vector<const char *> classes = acceptedClasses();

  Impl(StationSettings s)
      : settings(std::move(s)), spool(settings.spool.empty() ? settings.out + "/.spool" : settings.spool) {
    // Peers are known by their address; a name lookup per association would
    // only slow down and could be made to lie.
    dcmDisableGethostbyaddr.set(OFTrue);
  }

  bool diskFull() const {
    struct statvfs space {};
    if (::statvfs(spool.root().c_str(), &space) != 0) return false;
    return static_cast<unsigned long long>(space.f_bavail) * space.f_frsize < settings.reserveBytes;
  }

  void refusal(const std::string &patientId, const std::string &line) {
    std::lock_guard<std::mutex> lock(mutex);
    const std::string known = patientId.empty() ? "" : spool.jobOf(patientId);
    addStatusEvent(settings.out, known.empty() ? "odrzucone" : known, patientId, line);
  }

  // Accepts or refuses one association and serves its commands until the peer
  // releases it, goes silent or the station is asked to end.
  void serve(T_ASC_Association *association) {
    char calling[65] = {}, called[65] = {}, responding[65] = {}, host[256] = {}, local[256] = {};
    ASC_getAPTitles(association->params, calling, sizeof calling, called, sizeof called, responding,
                    sizeof responding);
    ASC_getPresentationAddresses(association->params, host, sizeof host, local, sizeof local);
    const std::string peer = calling;
    T_ASC_RejectParameters reject = {ASC_RESULT_REJECTEDPERMANENT, ASC_SOURCE_SERVICEUSER,
                                     ASC_REASON_SU_CALLINGAETITLENOTRECOGNIZED};
    if (peer.empty() || !peerAllowed(settings, peer, host)) {
      ASC_rejectAssociation(association, &reject);
      return;
    }
    ASC_acceptContextsWithPreferredTransferSyntaxes(association->params, classes.data(),
                                                    static_cast<int>(classes.size()), kTransferSyntaxes,
                                                    static_cast<int>(std::size(kTransferSyntaxes)));
    ASC_setAPTitles(association->params, nullptr, nullptr, settings.aet.c_str());
    if (ASC_countAcceptedPresentationContexts(association->params) == 0) {
      reject.reason = ASC_REASON_SU_NOREASON;
      ASC_rejectAssociation(association, &reject);
      refusal("", "Odrzucono połączenie od „" + peer + "”: stacja nie przyjmuje żadnego z proponowanych " +
                      "rodzajów obiektów.");
      return;
    }
    if (ASC_acknowledgeAssociation(association).bad()) return;
    for (int silent = 0;;) {
      T_DIMSE_Message message{};
      T_ASC_PresentationContextID presentation = 0;
      DcmDataset *detail = nullptr;
      OFCondition got =
          DIMSE_receiveCommand(association, DIMSE_NONBLOCKING, 1, &presentation, &message, &detail);
      delete detail;
      if (got == DIMSE_NODATAAVAILABLE) {
        if (stopping.load() || ++silent >= kSilentPeerSeconds) break;
        continue;
      }
      silent = 0;
      // A peer that keeps sending does not keep the station from ending:
      // what it sent next is not answered, so it knows to send it again.
      if (stopping.load()) break;
      if (got == DUL_PEERREQUESTEDRELEASE) {
        ASC_acknowledgeRelease(association);
        return;
      }
      if (got == DUL_PEERABORTEDASSOCIATION) return;
      if (got.bad()) break;
      if (message.CommandField == DIMSE_C_ECHO_RQ) {
        if (DIMSE_sendEchoResponse(association, presentation, &message.msg.CEchoRQ, STATUS_Success, nullptr)
                .bad())
          break;
      } else if (message.CommandField != DIMSE_C_STORE_RQ ||
                 !store(association, presentation, peer, message.msg.CStoreRQ)) {
        break;
      }
    }
    ASC_abortAssociation(association);
  }

  // Receives one object into the spool and answers it. False when the association is lost.
  bool store(T_ASC_Association *association, T_ASC_PresentationContextID presentation,
             const std::string &peer, T_DIMSE_C_StoreRQ &request) {
    T_ASC_PresentationContext context{};
    ASC_findAcceptedPresentationContext(association->params, presentation, &context);
    const bool classMatches = std::strcmp(context.abstractSyntax, request.AffectedSOPClassUID) == 0 &&
                              std::strcmp(request.AffectedSOPClassUID, UID_VerificationSOPClass) != 0;
    const bool full = classMatches && diskFull();
    const std::string incoming = spool.incomingName();
    const std::string sopUid = request.AffectedSOPInstanceUID;
    int error = 0;
    bool tooBig = false, whole = false;
    Cut cut{association, &stopping};
    {
      const int fd = ::open(incoming.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      SpoolConsumer consumer(fd, fd < 0 || full || !classMatches ? 0 : settings.maxObjectBytes);
      SpoolStream stream(consumer);
      if (fd >= 0 && classMatches && !full) writeMeta(stream, context, request, peer);
      T_ASC_PresentationContextID received = 0;
      OFCondition got = DIMSE_receiveDataSetInFile(association, DIMSE_NONBLOCKING, kSilentPeerSeconds,
                                                   &received, &stream, stopCheck, &cut);
      whole = got.good();
      error = fd < 0 ? errno : consumer.error();
      tooBig = consumer.tooBig();
      if (fd >= 0 && got.good() && ::fsync(fd) != 0) error = errno;
      if (fd >= 0 && ::close(fd) != 0 && !error) error = errno;
      if (!whole) {
        // Half an object is never counted: the association is gone with it.
        std::remove(incoming.c_str());
        refusal("", "Połączenie z „" + peer + "” przerwane w trakcie obiektu „" + sopUid +
                        "”; obiekt nie został przyjęty.");
        return false;
      }
    }
    Uint16 status = STATUS_Success;
    std::string why;
    Identity object;
    if (!classMatches) {
      status = STATUS_STORE_Refused_SOPClassNotSupported;
      why = "stacja nie przyjmuje obiektów rodzaju „" + std::string(request.AffectedSOPClassUID) + "”";
    } else if (full || (error == ENOSPC || error == EDQUOT)) {
      status = STATUS_STORE_Refused_OutOfResources, why = "brak miejsca na dysku stacji";
    } else if (tooBig) {
      status = STATUS_STORE_Refused_OutOfResources;
      why = "obiekt większy niż " + std::to_string(settings.maxObjectBytes >> 20) + " MB";
    } else if (error) {
      status = STATUS_STORE_Refused_OutOfResources;
      why = std::string("zapis na dysk nie powiódł się: ") + std::strerror(error);
    } else {
      status = check(incoming, request, object, why);
    }
    if (status == STATUS_Success && !place(incoming, object, &why))
      status = STATUS_STORE_Refused_OutOfResources;
    if (status != STATUS_Success) {
      std::remove(incoming.c_str());
      refusal(object.patient, "Odrzucono obiekt „" + sopUid + "” od „" + peer + "”: " + why + ".");
    }
    T_DIMSE_C_StoreRSP response{};
    response.MessageIDBeingRespondedTo = request.MessageID;
    response.DimseStatus = status;
    response.DataSetType = DIMSE_DATASET_NULL;
    OFStandard::strlcpy(response.AffectedSOPClassUID, request.AffectedSOPClassUID,
                        sizeof response.AffectedSOPClassUID);
    OFStandard::strlcpy(response.AffectedSOPInstanceUID, request.AffectedSOPInstanceUID,
                        sizeof response.AffectedSOPInstanceUID);
    response.opts = O_STORE_AFFECTEDSOPCLASSUID | O_STORE_AFFECTEDSOPINSTANCEUID;
    return DIMSE_sendStoreResponse(association, presentation, &request, &response, nullptr).good();
  }

  struct Cut {
    T_ASC_Association *association;
    const std::atomic<bool> *stopping;
  };
  // Ends a transfer under way once the station is asked to end: the connection
  // is closed, so the receive fails at once instead of reading the rest of the object.
  static void stopCheck(void *data, unsigned long) {
    const Cut &cut = *static_cast<Cut *>(data);
    if (!cut.stopping->load()) return;
    DcmTransportConnection *connection = DUL_getTransportConnection(cut.association->DULassociation);
    if (connection) connection->close();
  }

  static void writeMeta(DcmOutputStream &stream, const T_ASC_PresentationContext &context,
                        const T_DIMSE_C_StoreRQ &request, const std::string &peer) {
    DcmMetaInfo meta;
    const Uint8 version[2] = {0, 1};
    meta.putAndInsertUint32(DCM_FileMetaInformationGroupLength, 0);
    meta.putAndInsertUint8Array(DCM_FileMetaInformationVersion, version, 2);
    meta.putAndInsertString(DCM_MediaStorageSOPClassUID, request.AffectedSOPClassUID);
    meta.putAndInsertString(DCM_MediaStorageSOPInstanceUID, request.AffectedSOPInstanceUID);
    meta.putAndInsertString(DCM_TransferSyntaxUID, context.acceptedTransferSyntax);
    meta.putAndInsertString(DCM_ImplementationClassUID, OFFIS_IMPLEMENTATION_CLASS_UID);
    meta.putAndInsertString(DCM_ImplementationVersionName, OFFIS_DTK_IMPLEMENTATION_VERSION_NAME);
    meta.putAndInsertString(DCM_SourceApplicationEntityTitle, peer.c_str());
    meta.computeGroupLengthAndPadding(EGL_withGL, EPD_noChange, EXS_LittleEndianExplicit,
                                      EET_UndefinedLength);
    meta.transferInit();
    meta.write(stream, EXS_LittleEndianExplicit, EET_ExplicitLength, nullptr);
    meta.transferEnd();
  }

  struct Identity {
    std::string patient, study, sop;
  };
  // Whether the received file is an object the station takes, and whose.
  Uint16 check(const std::string &incoming, const T_DIMSE_C_StoreRQ &request, Identity &object,
               std::string &why) {
    DcmFileFormat file;
    OFString patient, study, sop, sopClass;
    if (file.loadFile(incoming.c_str(), EXS_Unknown, EGL_noChange, 1024).bad())
      return why = "nieczytelny zbiór danych", STATUS_STORE_Error_CannotUnderstand;
    DcmDataset *data = file.getDataset();
    data->findAndGetOFString(DCM_SOPInstanceUID, sop);
    data->findAndGetOFString(DCM_SOPClassUID, sopClass);
    data->findAndGetOFString(DCM_StudyInstanceUID, study);
    data->findAndGetOFString(DCM_PatientID, patient);
    object = {patient.c_str(), study.c_str(), sop.c_str()};
    if (object.patient.empty())
      return why = "brak identyfikatora pacjenta", STATUS_STORE_Error_CannotUnderstand;
    if (sop != request.AffectedSOPInstanceUID || sopClass != request.AffectedSOPClassUID)
      return why = "UID obiektu inny niż w poleceniu", STATUS_STORE_Error_DataSetDoesNotMatchSOPClass;
    if (study.empty()) return why = "brak UID badania", STATUS_STORE_Error_CannotUnderstand;
    std::lock_guard<std::mutex> lock(mutex);
    const auto owner = studyPatient.emplace(object.study, object.patient).first;
    if (owner->second != object.patient) {
      // One study is one patient's: an object naming another would put a
      // stranger's picture on this patient's disc, or split the study across two.
      why = "badanie „" + std::string(study.c_str()) + "” należy do pacjenta „" + owner->second +
            "”, a obiekt do „" + object.patient + "”";
      object.patient = owner->second;  // the line goes to the study's own job
      return STATUS_STORE_Error_CannotUnderstand;
    }
    return STATUS_Success;
  }

  bool place(const std::string &incoming, const Identity &object, std::string *error) {
    std::string job;
    const std::string &patientId = object.patient;
    std::lock_guard<std::mutex> lock(mutex);
    if (!spool.place(incoming, patientId, object.study, object.sop, jobName(patientId), &job, error))
      return false;
    const bool first = lastObject.find(patientId) == lastObject.end();
    lastObject[patientId] = Clock::now();
    JobStatus known;
    if (first && !readStatus(settings.out, job, known)) {
      JobStatus fresh;
      fresh.job = job, fresh.patientId = patientId, fresh.state = "received", fresh.received = 1;
      writeStatus(settings.out, fresh);
    }
    return true;
  }

  // Makes the jobs whose patients are idle, until stopped. `making` is true
  // while a job is being made; `settled` is told whenever nothing is.
  void makeLoop() {
    for (const std::string &job : spool.jobsBeingMade()) {
      if (stopping.load()) break;
      finish(makeJob(settings, job, spool.makingFolder(job), &stopping));
    }
    std::unique_lock<std::mutex> lock(mutex);
    making = false;
    while (!stopping.load()) {
      settled.notify_all();
      wake.wait_for(lock, std::chrono::milliseconds(250));
      const auto now = Clock::now();
      const bool all = makeAll.exchange(false);
      std::vector<std::string> due;
      for (auto &patient : lastObject)
        if (all || now - patient.second >= std::chrono::seconds(settings.idleSeconds))
          due.push_back(patient.first);
      for (const std::string &patientId : due) {
        lastObject.erase(patientId);
        const std::string job = spool.jobOf(patientId), folder = spool.takeForMaking(patientId);
        if (folder.empty()) continue;
        making = true;
        lock.unlock();
        finish(makeJob(settings, job, folder, &stopping));
        lock.lock();
        making = false;
        if (stopping.load()) break;
      }
    }
    settled.notify_all();
  }

  std::atomic<int> made{0}, failed{0};

  void finish(const JobStatus &status) {
    if (status.state == "made") ++made;
    if (status.state == "failed") ++failed;
    if (!owner->report) return;
    if (status.state == "made") owner->report(status.summary);
    if (status.state == "failed")
      owner->report("Płyty „" + status.job + "” nie udało się zrobić: " + status.reason);
  }
};

Station::Station(StationSettings settings) : impl_(new Impl(std::move(settings))) { impl_->owner = this; }
Station::~Station() = default;

bool Station::run(std::string *error) {
  Impl &impl = *impl_;
  if (impl.settings.out.empty()) return *error = "Nie podano folderu płyt (--out).", false;
  boost::system::error_code ec;
  boost::filesystem::create_directories(impl.settings.out, ec);
  if (ec || ::chmod(impl.settings.out.c_str(), 0700) != 0)
    return *error = "Nie można utworzyć folderu płyt „" + impl.settings.out + "”.", false;
  if (!impl.spool.open(error)) return false;
  impl.spool.clearIncoming();
  // Patients left waiting by the last run start their idle time again.
  for (const std::string &patientId : impl.spool.waitingPatients()) {
    impl.lastObject[patientId] = Clock::now();
    for (const std::string &study : impl.spool.studiesOf(patientId)) impl.studyPatient[study] = patientId;
  }
  T_ASC_Network *network = nullptr;
  OFCondition opened = ASC_initializeNetwork(NET_ACCEPTOR, impl.settings.port, kSilentPeerSeconds, &network);
  impl.network.reset(network);
  if (opened.bad()) {
    *error = "Nie można otworzyć portu " + std::to_string(impl.settings.port) + ": " + opened.text();
    return false;
  }
  listening_ = true;
  if (listeningNow) listeningNow();
  std::thread maker([&impl] { impl.makeLoop(); });
  // One association at a time: a disc station takes a few studies an hour,
  // and one writer keeps the spool's order of events simple.
  while (!impl.stopping.load()) {
    if (!ASC_associationWaiting(network, 1)) continue;
    T_ASC_Association *received = nullptr;
    OFCondition got = ASC_receiveAssociation(network, &received, ASC_MAXIMUMPDUSIZE, nullptr, nullptr,
                                             OFFalse, DUL_NOBLOCK, kSilentPeerSeconds);
    Association association(received);
    if (got.good()) sendAtOnce(received), impl.serve(received);
  }
  listening_ = false;
  impl.wake.notify_all();
  maker.join();
  impl.network.reset();
  return true;
}

void Station::stop() { impl_->stopping = true; }
void Station::makeNow() { impl_->makeAll = true; }

int Station::madeJobs() const { return impl_->made.load(); }
int Station::failedJobs() const { return impl_->failed.load(); }

bool Station::makeAllAndWait() {
  Impl &impl = *impl_;
  std::unique_lock<std::mutex> lock(impl.mutex);
  impl.makeAll = true;
  impl.wake.notify_all();
  impl.settled.wait(lock, [&impl] {
    return impl.stopping.load() || (!impl.makeAll.load() && !impl.making && impl.lastObject.empty());
  });
  return !impl.stopping.load();
}

}  // namespace discstation
