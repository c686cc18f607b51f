#include "fetch.h"

#include "station.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/scu.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace discstation {

namespace {

// The archive's address as the station sees its calls: its first IPv4 address.
std::string addressOf(const std::string &host) {
  addrinfo hints{}, *found = nullptr;
  hints.ai_family = AF_INET;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return host;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(found->ai_addr)->sin_addr, text, sizeof text);
  freeaddrinfo(found);
  return text;
}

struct Study {
  std::string uid, patientId;
};

// Reports the archive's count of objects sent after every tenth of a study.
class MovingScu : public DcmSCU {
 public:
  std::function<void(const std::string &)> progress;
  std::string label;
  int lastTenth = -1;

  OFCondition handleMOVEResponse(const T_ASC_PresentationContextID presentation, RetrieveResponse *response,
                                 OFBool &waitForNextResponse) override {
    const int done = response->m_numberOfCompletedSubops + response->m_numberOfFailedSubops +
                     response->m_numberOfWarningSubops;
    const int total = done + response->m_numberOfRemainingSubops;
    const int tenth = total ? done * 10 / total : 10;
    if (progress && total && tenth != lastTenth) {
      lastTenth = tenth;
      progress(label + "przyjęto " + std::to_string(response->m_numberOfCompletedSubops) + " z " +
               std::to_string(total) + " obiektów.");
    }
    return DcmSCU::handleMOVEResponse(presentation, response, waitForNextResponse);
  }
};

template <typename Response>
void release(OFList<Response *> &responses) {
  for (Response *response : responses) delete response;
  responses.clear();
}

}  // namespace

bool parseArchive(const std::string &text, FetchRequest &request) {
  const size_t at = text.find('@'), colon = text.rfind(':');
  if (at == std::string::npos || colon == std::string::npos || colon < at || at == 0 || at > 16 ||
      colon == at + 1 || colon + 1 == text.size())
    return false;
  char *end = nullptr;
  const long port = std::strtol(text.c_str() + colon + 1, &end, 10);
  if (*end || port <= 0 || port > 65535) return false;
  request.archiveAe = text.substr(0, at), request.archiveHost = text.substr(at + 1, colon - at - 1);
  request.archivePort = static_cast<int>(port);
  return true;
}

bool fetchAndMake(StationSettings settings, const FetchRequest &request,
                  const std::function<void(const std::string &)> &progress, std::string *error) {
  // The archive's sending is the only peer; nothing is made before every study is in.
  settings.allowed = {request.archiveAe + "@" + addressOf(request.archiveHost)};
  settings.idleSeconds = 7 * 86400;
  Station station(settings);
  station.report = progress;
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false, ended = false;
  std::string runError;
  station.listeningNow = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    started = true;
    changed.notify_all();
  };
  std::thread serving([&] {
    std::string problem;
    const bool ran = station.run(&problem);
    std::lock_guard<std::mutex> lock(mutex);
    if (!ran) runError = problem;
    ended = true;
    changed.notify_all();
  });
  struct Stop {
    Station &station;
    std::thread &serving;
    ~Stop() { station.stop(), serving.join(); }
  } stop{station, serving};
  {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return started || ended; });
    if (!started) return *error = runError, false;
  }

  MovingScu scu;
  scu.progress = progress;
  scu.setAETitle(settings.aet.c_str());
  scu.setPeerHostName(request.archiveHost.c_str());
  scu.setPeerPort(static_cast<Uint16>(request.archivePort));
  scu.setPeerAETitle(request.archiveAe.c_str());
  scu.setACSETimeout(30);
  // The archive answers each object it sends; a silence this long is a lost archive.
  scu.setDIMSEBlockingMode(DIMSE_NONBLOCKING);
  scu.setDIMSETimeout(300);
  OFList<OFString> syntaxes;
  syntaxes.push_back(UID_LittleEndianExplicitTransferSyntax);
  syntaxes.push_back(UID_LittleEndianImplicitTransferSyntax);
  scu.addPresentationContext(UID_FINDStudyRootQueryRetrieveInformationModel, syntaxes);
  scu.addPresentationContext(UID_MOVEStudyRootQueryRetrieveInformationModel, syntaxes);
  const std::string archive =
      "„" + request.archiveAe + "” (" + request.archiveHost + ":" + std::to_string(request.archivePort) + ")";
  if (scu.initNetwork().bad() || scu.negotiateAssociation().bad())
    return *error = "Nie można połączyć się z archiwum " + archive + ".", false;
  const T_ASC_PresentationContextID find =
      scu.findPresentationContextID(UID_FINDStudyRootQueryRetrieveInformationModel, "");
  const T_ASC_PresentationContextID move =
      scu.findPresentationContextID(UID_MOVEStudyRootQueryRetrieveInformationModel, "");
  if (!find || !move)
    return *error = "Archiwum " + archive + " nie przyjmuje zapytań o badania ani ich wysyłania.", false;

  DcmDataset query;
  query.putAndInsertString(DCM_QueryRetrieveLevel, "STUDY");
  query.putAndInsertString(DCM_StudyInstanceUID, "");
  query.putAndInsertString(DCM_PatientID, request.patientId.c_str());
  query.putAndInsertString(DCM_AccessionNumber, request.accession.c_str());
  OFList<QRResponse *> found;
  OFCondition asked = scu.sendFINDRequest(find, &query, &found);
  std::vector<Study> studies;
  for (QRResponse *response : found) {
    OFString uid, patient, accession;
    if (!response->m_dataset || response->m_dataset->findAndGetOFString(DCM_StudyInstanceUID, uid).bad())
      continue;
    response->m_dataset->findAndGetOFString(DCM_PatientID, patient);
    response->m_dataset->findAndGetOFString(DCM_AccessionNumber, accession);
    // The archive matches wildcards; the disc is of the patient or accession asked for alone.
    if ((!request.patientId.empty() && patient != request.patientId.c_str()) ||
        (!request.accession.empty() && accession != request.accession.c_str()))
      continue;
    studies.push_back({uid.c_str(), patient.c_str()});
  }
  release(found);
  const std::string asking = request.patientId.empty() ? "numeru badania „" + request.accession + "”"
                                                       : "pacjenta „" + request.patientId + "”";
  if (asked.bad()) return *error = "Archiwum " + archive + " nie odpowiedziało na zapytanie.", false;
  if (studies.empty()) return *error = "Archiwum " + archive + " nie ma badań " + asking + ".", false;
  progress("Badania " + asking + " w archiwum: " + std::to_string(studies.size()) + ".");

  bool whole = true;
  for (size_t i = 0; i < studies.size(); ++i) {
    scu.label = "Badanie " + std::to_string(i + 1) + " z " + std::to_string(studies.size()) + ": ";
    scu.lastTenth = -1;
    DcmDataset keys;
    keys.putAndInsertString(DCM_QueryRetrieveLevel, "STUDY");
    keys.putAndInsertString(DCM_StudyInstanceUID, studies[i].uid.c_str());
    OFList<RetrieveResponse *> responses;
    OFCondition moved = scu.sendMOVERequest(move, settings.aet.c_str(), &keys, &responses);
    Uint16 status = responses.empty() ? 0xFFFF : responses.back()->m_status;
    const int failed = responses.empty() ? 0 : responses.back()->m_numberOfFailedSubops;
    release(responses);
    if (moved.bad() || status != STATUS_Success) {
      whole = false;
      char code[8];
      std::snprintf(code, sizeof code, "%04X", status);
      progress(scu.label + "archiwum nie wysłało całego badania „" + studies[i].uid + "” (status " + code +
               (failed ? ", nieudane obiekty: " + std::to_string(failed) : std::string()) + ").");
    }
  }
  scu.releaseAssociation();
  if (!station.makeAllAndWait()) return *error = "Przerwano przed zrobieniem płyt.", false;
  if (station.failedJobs() > 0) return *error = "Nie wszystkie płyty udało się zrobić.", false;
  if (station.madeJobs() == 0) return *error = "Archiwum nie wysłało żadnego obiektu.", false;
  if (!whole) return *error = "Płyty zrobiono z tego, co archiwum wysłało; brakuje części badań.", false;
  return true;
}

}  // namespace discstation
