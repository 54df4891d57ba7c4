#pragma once
// What one network run came to: success, or the one message that says what happened.

#include <string>

namespace morvex::net {

struct Outcome {
  bool ok = false;
  bool cancelled = false;
  std::string message;  // empty on success unless there is something worth saying

  static Outcome success(std::string note = {}) { return {true, false, std::move(note)}; }
  static Outcome failure(std::string why) { return {false, false, std::move(why)}; }
  static Outcome cancel() { return {false, true, "cancelled"}; }
};

}  // namespace morvex::net
