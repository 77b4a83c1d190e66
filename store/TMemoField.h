#pragma once
// A text memo: a blob field whose bytes are text in the table's code page.

#include "store/TBlobField.h"

namespace tindrel {

class TMemoField : public TBlobField {
 public:
  using TBlobField::TBlobField;
};

}  // namespace tindrel
