// disc-station serve --aet AE --port N --out DIR [--spool DIR] [--idle SECONDS]
//                    [--settings FILE] [--keep-spool]
// A clinic's disc station: receives patients' studies over DICOM and makes a
// disc of each patient once its objects stop coming. SIGTERM ends it with the
// spool intact; SIGUSR1 makes every waiting patient's disc now.
#include "station.h"

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
  std::cerr << "Użycie: disc-station serve --aet AE --port N --out FOLDER [--spool FOLDER] [--idle SEKUNDY]"
               " [--settings PLIK] [--keep-spool]\n";
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
  if (argc < 2 || std::strcmp(argv[1], "serve") != 0) return usage();
  discstation::StationSettings settings;
  std::string error;
  // The settings file first, whatever its place: the other options override it.
  for (int i = 2; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--settings") == 0 &&
        !discstation::readSettingsFile(argv[i + 1], settings, &error)) {
      std::cerr << error << "\n";
      return 2;
    }
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--keep-spool") {
      settings.keepSpool = true;
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
    else if (option == "--idle")
      ok = integer(value, settings.idleSeconds);
    else if (option != "--settings")
      ok = false;
    if (!ok) return usage();
  }
  if (settings.out.empty()) return usage();
  discstation::Station station(settings);
  station.report = [](const std::string &line) { std::cout << line << std::endl; };
  running = &station;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGUSR1}) sigaction(signal, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  if (!station.run(&error)) {
    std::cerr << error << "\n";
    return 1;
  }
  return 0;
}
