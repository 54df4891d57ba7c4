#include "study/label_table.h"

#include <cstring>

#include "study/text_field.h"

namespace morvex {

int LabelTable::addLabel(const char* name, int r, int g, int b) {
  LabelInfo info;
  assignText(info.name, name, kShortCapacity);
  info.r = r;
  info.g = g;
  info.b = b;
  info.value = static_cast<uint16_t>(labels_.size() + 1);
  labels_.push_back(info);
  return info.value;
}

int LabelTable::getLabelIdx(const char* pcLabelName) const {
  if (!pcLabelName) return -1;
  for (const LabelInfo& l : labels_)
    if (l.name == pcLabelName) return l.value;
  return -1;
}

const LabelInfo* LabelTable::byValue(int value) const {
  if (value < 1 || value > size()) return nullptr;
  return &labels_[static_cast<std::size_t>(value - 1)];
}

LabelTable defaultLabelTable() {
  LabelTable t;
  t.addLabel("Liver", 145, 57, 53);
  t.addLabel("Vessel", 1, 175, 78);
  t.addLabel("Cancer", 179, 162, 198);
  t.addLabel("Liver(Left)", 165, 77, 73);
  t.addLabel("Liver(Right)", 47, 82, 143);
  t.addLabel("Vessel(Left)", 6, 180, 83);
  t.addLabel("Vessel(Right)", 6, 180, 83);
  return t;
}

}  // namespace morvex
