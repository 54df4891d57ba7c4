#pragma once
// The label table: each label's name, colour and value (= position + 1).

#include <cstdint>
#include <string>
#include <vector>

namespace morvex {

struct LabelInfo {
  std::string name;  // at most 63 bytes
  int r = 0, g = 0, b = 0;
  uint16_t value = 0;
};

// Label values used throughout the program.
enum LabelValue : uint8_t {
  kBackground = 0,
  kLiver = 1,
  kVessel = 2,
  kCancer = 3,
  kLiverLeft = 4,
  kLiverRight = 5,
  kVesselLeft = 6,
  kVesselRight = 7,
  kSelectionLabel = 255,  // currentLabel value that designates the working selection
};

class LabelTable {
 public:
  // Appends a label; its value is its position + 1. Returns that value.
  int addLabel(const char* name, int r, int g, int b);
  // Value of the entry whose name equals pcLabelName byte for byte; -1 when there is none.
  int getLabelIdx(const char* pcLabelName) const;
  // Entry of a label value 1..size(); null otherwise.
  const LabelInfo* byValue(int value) const;
  int size() const { return static_cast<int>(labels_.size()); }
  const std::vector<LabelInfo>& labels() const { return labels_; }

 private:
  std::vector<LabelInfo> labels_;
};

// The seven labels the main window adds at start-up, in their fixed order.
LabelTable defaultLabelTable();

}  // namespace morvex
