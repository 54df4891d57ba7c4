#pragma once
// An archive node (a remote DICOM application entity) and this workstation's own entity, as values.
// No Qt: the window keeps them in the user's settings, the command line parses "AET@HOST:PORT".

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace morvex::net {

struct ArchiveNode {
  std::string name;     // the user's label; may be empty on the command line
  std::string aeTitle;  // the node's called AE title
  std::string host;
  int port = 104;
};

// Who we are: the calling AE title, and the port our storage listener opens while a C-MOVE runs.
struct LocalEntity {
  std::string aeTitle = "MORVEX";
  int receivePort = 11112;
};

// Empty when node can be used; otherwise why not ("AE title longer than 16 characters", ...).
std::string validateNode(const ArchiveNode& node);
std::string validateAeTitle(const std::string& aeTitle);

// "AET@HOST:PORT" into node (name = the text); false with the reason in error when malformed.
bool parseNodeAddress(const std::string& text, ArchiveNode& node, std::string* error);
// "AET@HOST:PORT" of node.
std::string nodeAddress(const ArchiveNode& node);

// Seconds allowed for one network step (connect, association, one message).
struct Timeouts {
  int connectSeconds = 10;
  int messageSeconds = 30;
};

// Cancellation and progress of one network run, shared between the worker that runs it and the
// thread that asked for it. progress(done, total) is called on the worker; total may be 0 (unknown).
class TransferControl {
 public:
  void requestCancel() { cancel_.store(true); }
  bool cancelled() const { return cancel_.load(); }
  void setProgressHandler(std::function<void(int done, int total)> handler) { progress_ = std::move(handler); }
  void progress(int done, int total) const {
    if (progress_) progress_(done, total);
  }

 private:
  std::atomic<bool> cancel_{false};
  std::function<void(int, int)> progress_;
};

}  // namespace morvex::net
