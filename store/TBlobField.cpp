#include "store/TBlobField.h"

#include "store/TDataSet.h"

namespace tindrel {

QString TBlobField::ReadFirstBytes(size_t maxBytes) const { return DataSet()->ReadFirstBytes(Index(), maxBytes); }

}  // namespace tindrel
