#pragma once
// The program's own string table for the tree view: texts looked up by number, so that the
// wording can change without touching the code that shows it.

#include <QString>

namespace tindrel {

enum TProgramString {
  // The data-bound view's delete question (no placeholder: the node's text is not shown).
  sDeleteRecordQuestion = 1,
};

QString ProgramString(TProgramString id);

}  // namespace tindrel
