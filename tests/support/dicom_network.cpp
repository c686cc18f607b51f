// Helpers for tests and benchmarks that speak DICOM and HTTP over the loopback.
#include "support/dicom_network.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace testsupport {

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

void dicomWithoutNagle() { setenv("TCP_NODELAY", "1", 1); }

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

Orthanc::Orthanc(int stationPort) : http(freePort()), dicom(freePort()) {
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

Orthanc::~Orthanc() {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

}  // namespace testsupport
