#include "station_settings.h"

#include "disc_span.h"

#include <fstream>

namespace discstation {
namespace {

std::string trimmed(const std::string &text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool yesNo(const std::string &value, bool &out) {
  if (value == "yes" || value == "true" || value == "1") return out = true, true;
  if (value == "no" || value == "false" || value == "0") return out = false, true;
  return false;
}

bool number(const std::string &value, int low, int high, int &out) {
  try {
    size_t used = 0;
    const long parsed = std::stol(value, &used);
    if (used != value.size() || parsed < low || parsed > high) return false;
    out = static_cast<int>(parsed);
    return true;
  } catch (...) {
    return false;
  }
}

bool loopback(const std::string &host) {
  return host.rfind("127.", 0) == 0 || host == "::1" || host == "localhost" ||
         host.rfind("::ffff:127.", 0) == 0;
}

}  // namespace

bool readSettingsFile(const std::string &path, StationSettings &s, std::string *error) {
  std::ifstream in(path);
  if (!in) {
    *error = "Nie można odczytać pliku ustawień „" + path + "”.";
    return false;
  }
  std::string line;
  for (int number_ = 1; std::getline(in, line); ++number_) {
    line = trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    const std::string key = trimmed(line.substr(0, equals));
    const std::string value = equals == std::string::npos ? "" : trimmed(line.substr(equals + 1));
    bool ok = equals != std::string::npos;
    if (!ok) {
    } else if (key == "aet") {
      ok = !value.empty() && value.size() <= 16, s.aet = value;
    } else if (key == "port") {
      ok = number(value, 1, 65535, s.port);
    } else if (key == "out") {
      s.out = value;
    } else if (key == "spool") {
      s.spool = value;
    } else if (key == "idle") {
      ok = number(value, 0, 86400 * 7, s.idleSeconds);
    } else if (key == "keep-spool") {
      ok = yesNo(value, s.keepSpool);
    } else if (key == "allow") {
      ok = value.find('@') != std::string::npos, s.allowed.push_back(value);
    } else if (key == "navigator") {
      s.navigatorProgram = value, s.noNavigator = value.empty();
    } else if (key == "artwork") {
      ok = yesNo(value, s.artwork);
    } else if (key == "stand-ins") {
      ok = yesNo(value, s.standIns);
    } else if (key == "image") {
      ok = yesNo(value, s.image);
    } else if (key == "viewer") {
      s.viewerProgram = value;
    } else if (key == "tools") {
      s.toolDirectory = value;
    } else if (key == "max-object-mb" || key == "reserve-mb") {
      int megabytes = 0;
      ok = number(value, 1, 1 << 20, megabytes);
      (key == "reserve-mb" ? s.reserveBytes : s.maxObjectBytes) = static_cast<unsigned long long>(megabytes)
                                                                  << 20;
    } else if (key == "threads") {
      ok = number(value, 0, 256, s.threads);
    } else if (key == "medium") {
      std::uint64_t bytes = 0;
      std::string refusal;
      ok = makedisc::mediumBytes(value, &bytes, &refusal), s.medium = value;
    } else {
      ok = false;
    }
    if (!ok) {
      *error = "Plik ustawień „" + path + "”, wiersz " + std::to_string(number_) + ": niezrozumiałe „" +
               line + "”.";
      return false;
    }
  }
  return true;
}

bool peerAllowed(const StationSettings &settings, const std::string &callingAe, const std::string &host) {
  if (settings.allowed.empty()) return loopback(host);
  for (const std::string &peer : settings.allowed) {
    const size_t at = peer.rfind('@');
    const std::string ae = peer.substr(0, at), allowedHost = peer.substr(at + 1);
    const bool hostMatches =
        allowedHost == "*" || allowedHost == host || (allowedHost == "localhost" && loopback(host));
    if ((ae == "*" || callingAe.empty() || ae == callingAe) && hostMatches) return true;
  }
  return false;
}

}  // namespace discstation
