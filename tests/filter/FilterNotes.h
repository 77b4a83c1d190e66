#pragma once
// The notes the filter component's tests filter: titles that differ in letter case, a word
// inside another word, and an empty title.

#include <vector>

#include "tests/support/TableBuilder.h"

namespace tindrel::testing {

inline const std::vector<Note> kFilterNotes{{"1", "", "Red fox", ""},
                                            {"2", "1", "Blue whale", ""},
                                            {"3", "1", "Bordered", ""},
                                            {"4", "2", "Mouse", ""},
                                            {"5", "2", "", ""}};

}  // namespace tindrel::testing
