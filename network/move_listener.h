#pragma once
// Internal to network/: the storage listener a C-MOVE sends its images to. It listens only while
// the C-MOVE that asked for it runs (start() ... stop()), accepts associations only from the
// given AE titles to our own AE title, and stores what it receives into one folder.

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmnet/dstorscp.h"

#include "network/archive_node.h"
#include "network/outcome.h"

namespace morvex::net {

class MoveListener : public DcmStorageSCP {
 public:
  MoveListener(const LocalEntity& local, std::set<std::string> allowedCallers, const std::string& folder,
               const std::vector<std::string>& sopClasses, const Timeouts& timeouts);
  ~MoveListener() override;

  // Opens the receive port and accepts associations on a thread of its own until stop().
  Outcome start();
  void stop();
  int received() const { return received_.load(); }
  // Callers that were turned away (their AE titles), for the failure message.
  std::vector<std::string> refused() const;

 protected:
  OFBool checkCalledAETitleAccepted(const OFString& calledAE) override;
  OFBool checkCallingAETitleAccepted(const OFString& callingAE) override;
  OFBool stopAfterConnectionTimeout() override { return stopping_.load(); }
  OFBool stopAfterCurrentAssociation() override { return stopping_.load(); }
  void notifyInstanceStored(const OFString& filename, const OFString& sopClassUID, const OFString& sopInstanceUID,
                            DcmDataset* dataset) const override;

 private:
  LocalEntity local_;
  std::set<std::string> allowed_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> listening_{false};
  mutable std::atomic<int> received_{0};
  mutable std::mutex refusedMutex_;
  std::vector<std::string> refused_;
  std::thread thread_;
};

}  // namespace morvex::net
