#pragma once
// A real archive server for the archive tests: the Debian package's binary started on free
// local ports with a configuration and storage in a temporary folder, stopped by its pid; and a
// small synthetic series to store into it.

#include <chrono>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"

#include "network/archive_echo.h"
#include "tests/testing_support.h"
#include "tools/synthct/series_writer.h"

namespace morvex::testing {


inline const char* const kServer = "/usr/sbin/Orthanc";
inline int freePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(s);
  return ntohs(a.sin_port);
}

inline std::string tagOf(const std::string& path, const DcmTagKey& tag) {
  DcmFileFormat f;
  OFString v;
  if (f.loadFile(path.c_str()).good()) f.getDataset()->findAndGetOFStringArray(tag, v);
  return v.c_str();
}

// One archive server in a temporary folder: its own storage, no service, stopped by its pid.
class ArchiveServer {
 public:
  explicit ArchiveServer(int listenerPort) : port_(freePort()) {
    node_ = {"archive", "ARCHIVE", "127.0.0.1", port_};
    local_ = {"MORVEXTEST", listenerPort};
    std::ofstream(dir_.file("server.json")) << "{\"Name\": \"test\", \"StorageDirectory\": \"" << dir_.file("db")
        << "\", \"IndexDirectory\": \"" << dir_.file("db") << "\", \"HttpPort\": " << freePort()
        << ", \"DicomPort\": " << port_ << ", \"DicomAet\": \"ARCHIVE\", \"DicomCheckCalledAet\": true,"
        << " \"RemoteAccessAllowed\": false, \"AuthenticationEnabled\": false, \"Plugins\": [],"
        << " \"DicomModalities\": {\"morvex\": [\"MORVEXTEST\", \"127.0.0.1\", " << listenerPort << "]}}";
    pid_ = ::fork();
    if (pid_ == 0) {
      const std::string log = dir_.file("server.log");
      std::freopen(log.c_str(), "w", stdout);
      std::freopen(log.c_str(), "a", stderr);
      ::execl(kServer, kServer, dir_.file("server.json").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100 && !answers(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ~ArchiveServer() { kill(SIGTERM); }
  void kill(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  bool answers() const { return net::ArchiveEcho::run(node_, local_, {1, 2}).ok; }
  const net::ArchiveNode& node() const { return node_; }
  const net::LocalEntity& local() const { return local_; }

 private:
  TempDir dir_;
  int port_;
  pid_t pid_ = -1;
  net::ArchiveNode node_;
  net::LocalEntity local_;
};

// A 10-slice, 128 x 96 synthetic series (unequal row / column spacing, slice step != thickness).
struct SyntheticSeries {
  TempDir dir;
  std::vector<std::string> files;
  std::string seriesUid, studyUid;
  SyntheticSeries() {
    morvex::synth::PhantomOptions o;
    o.size = 128;
    o.columns = 96;
    o.slices = 10;
    o.pixelSpacingColumn = 0.9;
    o.sliceStep = 3.0;
    std::string error;
    EXPECT_TRUE(morvex::synth::writeSeries(o, dir.path(), &error)) << error;
    for (int k = 0; k < o.slices; ++k) files.push_back(dir.file(morvex::synth::sliceFileName(k) + ".dcm"));
    seriesUid = tagOf(files[0], DCM_SeriesInstanceUID);
    studyUid = tagOf(files[0], DCM_StudyInstanceUID);
  }
};

}  // namespace morvex::testing
