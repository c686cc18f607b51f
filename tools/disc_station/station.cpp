#include "station.h"

#include "disc_jobs.h"
#include "spool.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scp.h>

#include <boost/filesystem.hpp>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>

namespace discstation {

namespace {

using Clock = std::chrono::steady_clock;

const char *const kTransferSyntaxes[] = {UID_LittleEndianExplicitTransferSyntax,
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

// Below this much free space the spool takes nothing more: a disc of the
// received objects still has to be made beside it.
constexpr unsigned long long kReserveBytes = 64ull << 20;

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

}  // namespace

struct Station::Impl : public DcmSCP {
  StationSettings settings;
  Spool spool;
  std::atomic<bool> stopping{false}, makeAll{false};
  std::mutex mutex;
  std::condition_variable wake;
  std::map<std::string, Clock::time_point> lastObject;  // patient ID -> its last object
  Station *owner = nullptr;

  Impl(StationSettings s)
      : settings(std::move(s)), spool(settings.spool.empty() ? settings.out + "/.spool" : settings.spool) {
    DcmSCPConfig &config = getConfig();
    config.setAETitle(settings.aet.c_str());
    config.setPort(static_cast<Uint16>(settings.port));
    // Non-blocking accepts with a one-second timeout let stop() end the loop.
    config.setConnectionBlockingMode(DUL_NOBLOCK);
    config.setConnectionTimeout(1);
    // A peer that stops mid-object is dropped instead of holding the station.
    config.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
    config.setDIMSETimeout(30);
    config.setACSETimeout(30);
    config.setHostLookupEnabled(OFFalse);
    OFList<OFString> syntaxes;
    for (const char *uid : kTransferSyntaxes) syntaxes.push_back(uid);
    for (int i = 0; i < numberOfDcmImageSOPClassUIDs; ++i)
      if (dcmImageSOPClassUIDs[i]) config.addPresentationContext(dcmImageSOPClassUIDs[i], syntaxes);
    for (const char *uid : kDocumentClasses) config.addPresentationContext(uid, syntaxes);
    OFList<OFString> echo;
    echo.push_back(UID_LittleEndianImplicitTransferSyntax);
    echo.push_back(UID_LittleEndianExplicitTransferSyntax);
    config.addPresentationContext(UID_VerificationSOPClass, echo);
  }

  OFBool checkCallingAETitleAccepted(const OFString &callingAE) override {
    return !callingAE.empty() && peerAllowed(settings, callingAE.c_str(), getPeerIP().c_str());
  }
  OFBool checkCallingHostAccepted(const OFString &host) override {
    // The calling AE is checked with its host once it is known.
    // Without host name lookups the peer is known by its address alone.
    return peerAllowed(settings, "", getPeerIP().empty() ? host.c_str() : getPeerIP().c_str());
  }
  OFBool stopAfterConnectionTimeout() override { return stopping.load(); }
  OFBool stopAfterCurrentAssociation() override { return stopping.load(); }

  OFCondition handleIncomingCommand(T_DIMSE_Message *message,
                                    const DcmPresentationContextInfo &info) override {
    if (message->CommandField != DIMSE_C_STORE_RQ) return DcmSCP::handleIncomingCommand(message, info);
    return store(message->msg.CStoreRQ, info.presentationContextID);
  }

  bool diskFull() const {
    struct statvfs space {};
    if (::statvfs(spool.root().c_str(), &space) != 0) return false;
    return static_cast<unsigned long long>(space.f_bavail) * space.f_frsize < kReserveBytes;
  }

  OFCondition store(T_DIMSE_C_StoreRQ &request, T_ASC_PresentationContextID presentation) {
    const std::string incoming = spool.incomingName();
    const bool full = diskFull();
    OFCondition received = receiveSTORERequest(request, presentation, OFString(incoming.c_str()));
    if (received.bad()) {
      // Half an object is never counted: the association is gone with it.
      std::remove(incoming.c_str());
      if (full || diskFull()) sendSTOREResponse(presentation, request, STATUS_STORE_Refused_OutOfResources);
      return received;
    }
    if (full) {
      std::remove(incoming.c_str());
      return sendSTOREResponse(presentation, request, STATUS_STORE_Refused_OutOfResources);
    }
    DcmFileFormat file;
    OFString patientId, study, sop, sopClass;
    Uint16 status = STATUS_Success;
    std::string refusal;
    if (file.loadFile(incoming.c_str(), EXS_Unknown, EGL_noChange, 1024).bad()) {
      status = STATUS_STORE_Error_CannotUnderstand, refusal = "nieczytelny zbiór danych";
    } else {
      DcmDataset *data = file.getDataset();
      data->findAndGetOFString(DCM_SOPInstanceUID, sop);
      data->findAndGetOFString(DCM_SOPClassUID, sopClass);
      data->findAndGetOFString(DCM_StudyInstanceUID, study);
      if (data->findAndGetOFString(DCM_PatientID, patientId).bad() || patientId.empty()) {
        status = STATUS_STORE_Error_CannotUnderstand, refusal = "brak identyfikatora pacjenta";
      } else if (sop != request.AffectedSOPInstanceUID || sopClass != request.AffectedSOPClassUID) {
        status = STATUS_STORE_Error_DataSetDoesNotMatchSOPClass, refusal = "UID obiektu inny niż w poleceniu";
      }
    }
    std::string job;
    if (status == STATUS_Success) {
      std::string error;
      std::lock_guard<std::mutex> lock(mutex);
      if (!spool.place(incoming, patientId.c_str(), study.c_str(), sop.c_str(), jobName(patientId.c_str()),
                       &job, &error)) {
        status = STATUS_STORE_Refused_OutOfResources, refusal = error;
      } else {
        const bool first = lastObject.find(patientId.c_str()) == lastObject.end();
        lastObject[patientId.c_str()] = Clock::now();
        JobStatus known;
        if (first && !readStatus(settings.out, job, known)) {
          JobStatus fresh;
          fresh.job = job, fresh.patientId = patientId.c_str(), fresh.state = "received", fresh.received = 1;
          writeStatus(settings.out, fresh);
        }
      }
    }
    if (status != STATUS_Success) {
      std::remove(incoming.c_str());
      const std::string line = "Odrzucono obiekt „" + std::string(request.AffectedSOPInstanceUID) + "” od „" +
                               getPeerAETitle().c_str() + "”: " + refusal + ".";
      std::lock_guard<std::mutex> lock(mutex);
      const std::string known = patientId.empty() ? "" : spool.jobOf(patientId.c_str());
      addStatusEvent(settings.out, known.empty() ? "odrzucone" : known, patientId.c_str(), line);
    }
    return sendSTOREResponse(presentation, request, status);
  }

  // Makes the jobs whose patients are idle, until stopped.
  void makeLoop() {
    for (const std::string &job : spool.jobsBeingMade()) {
      if (stopping.load()) return;
      finish(makeJob(settings, job, spool.makingFolder(job), &stopping));
    }
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping.load()) {
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
        lock.unlock();
        finish(makeJob(settings, job, folder, &stopping));
        lock.lock();
        if (stopping.load()) return;
      }
    }
  }

  void finish(const JobStatus &status) {
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
  for (const std::string &patientId : impl.spool.waitingPatients()) impl.lastObject[patientId] = Clock::now();
  OFCondition opened = impl.openListenPort();
  if (opened.bad()) {
    *error = "Nie można otworzyć portu " + std::to_string(impl.settings.port) + ": " + opened.text();
    return false;
  }
  listening_ = true;
  std::thread maker([&impl] { impl.makeLoop(); });
  while (!impl.stopping.load()) impl.acceptAssociations();
  listening_ = false;
  impl.wake.notify_all();
  maker.join();
  return true;
}

void Station::stop() { impl_->stopping = true; }
void Station::makeNow() { impl_->makeAll = true; }

}  // namespace discstation
