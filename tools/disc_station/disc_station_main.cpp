// disc-station serve --aet AE --port N --out DIR [--spool DIR] [--idle SECONDS]
//                    [--settings FILE] [--keep-spool] [--verbose]
// disc-station fetch --from AE@HOST:PORT (--patient ID | --accession N) --out DIR
//                    [--aet AE --port N] [--settings FILE] [--keep-spool] [--verbose]
// A clinic's disc station: receives patients' studies over DICOM, or fetches
// one patient's from the archive, and makes a disc of each patient. serve
// runs until SIGTERM, which ends it with the spool intact; SIGUSR1 makes every
// waiting patient's disc now. fetch needs the archive to know the station's
// AE title with this host and port, as it sends the studies there.
#include "fetch.h"
#include "station.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/oflog/oflog.h>

#include <signal.h>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

discstation::Station *running = nullptr;

void onSignal(int signal) {
  if (!running) return;
  if (signal == SIGUSR1)
    running->makeNow();
  else
    running->stop();
}

int usage() {
  std::cerr
      << "Użycie: disc-station serve --aet AE --port N --out FOLDER [--spool FOLDER] [--idle SEKUNDY]"
         " [--settings PLIK] [--keep-spool] [--verbose]\n"
         "        disc-station fetch --from AE@HOST:PORT (--patient ID | --accession NUMER) --out FOLDER"
         " [--aet AE --port N] [--settings PLIK] [--keep-spool] [--verbose]\n";
  return 2;
}

bool integer(const char *text, int &out) {
  char *end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (!*text || *end || value < 0 || value > 604800) return false;
  out = static_cast<int>(value);
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return usage();
  const std::string command = argv[1];
  if (command != "serve" && command != "fetch") return usage();
  discstation::StationSettings settings;
  discstation::FetchRequest fetch;
  std::string error;
  bool verbose = false;
  // The settings file first, whatever its place: the other options override it.
  for (int i = 2; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--settings") == 0 &&
        !discstation::readSettingsFile(argv[i + 1], settings, &error)) {
      std::cerr << error << "\n";
      return 2;
    }
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--keep-spool" || option == "--verbose") {
      (option == "--verbose" ? verbose : settings.keepSpool) = true;
      continue;
    }
    if (i + 1 >= argc) return usage();
    const char *value = argv[++i];
    bool ok = true;
    if (option == "--aet")
      settings.aet = value, ok = !settings.aet.empty() && settings.aet.size() <= 16;
    else if (option == "--port")
      ok = integer(value, settings.port) && settings.port > 0 && settings.port < 65536;
    else if (option == "--out")
      settings.out = value;
    else if (option == "--spool")
      settings.spool = value;
    else if (option == "--idle" && command == "serve")
      ok = integer(value, settings.idleSeconds);
    else if (option == "--from" && command == "fetch")
      ok = discstation::parseArchive(value, fetch);
    else if (option == "--patient" && command == "fetch")
      fetch.patientId = value, ok = !fetch.patientId.empty();
    else if (option == "--accession" && command == "fetch")
      fetch.accession = value, ok = !fetch.accession.empty();
    else if (option != "--settings")
      ok = false;
    if (!ok) return usage();
  }
  if (settings.out.empty()) return usage();
  if (command == "fetch" && (fetch.archiveAe.empty() || fetch.patientId.empty() == fetch.accession.empty()))
    return usage();
  // DCMTK tells of every association on its info level: a station's log is
  // for its discs and refusals, which it writes itself.
  if (!verbose) OFLog::configure(OFLogger::WARN_LOG_LEVEL);
  signal(SIGPIPE, SIG_IGN);
  const auto say = [](const std::string &line) { std::cout << line << std::endl; };
  if (command == "fetch") {
    if (!discstation::fetchAndMake(settings, fetch, say, &error)) {
      std::cerr << error << "\n";
      return 1;
    }
    return 0;
  }
  discstation::Station station(settings);
  station.report = say;
  running = &station;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGUSR1}) sigaction(signal, &action, nullptr);
  if (!station.run(&error)) {
    std::cerr << error << "\n";
    return 1;
  }
  return 0;
}
