#include "tree/TreeStrings.h"

namespace tindrel {

QString ProgramString(TProgramString id) {
  switch (id) {
    case sDeleteRecordQuestion: return QStringLiteral("Να διαγραφεί η εγγραφή;");
  }
  return {};
}

}  // namespace tindrel
