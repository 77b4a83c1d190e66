#pragma once
// A field whose value lives in the memo file. Its whole text reads and writes as text; the first
// bytes of the stored value can be read without the rest.

#include "store/TField.h"

namespace tindrel {

class TBlobField : public TField {
 public:
  using TField::TField;
  bool IsBlob() const override { return true; }
  // The first `maxBytes` bytes of the stored value (in the table's code page), as text.
  QString ReadFirstBytes(size_t maxBytes) const;
};

}  // namespace tindrel
