#pragma once
// Large pages for the heap. With many notes open, most of the program's memory is small pieces
// (nodes, strings, the view's rows) reached in no particular order; on 2 MiB pages the processor
// finds them without a walk of the page tables each time, and the kernel fills a few hundred
// pages instead of a few hundred thousand. The C library decides how its heap is paged once, when
// the program starts, from the GLIBC_TUNABLES setting: so the program starts itself once more
// with the setting made, before anything else happens.

#include <string>

namespace tindrel {

// The GLIBC_TUNABLES value that asks for large heap pages in addition to `current` (null when
// the variable is unset); empty when `current` already says how the heap is paged, so that a
// setting made by the person stands and the program starts itself at most once.
std::string TunablesWithHeapPages(const char* current);

// Starts the program again with large heap pages asked for, unless they were asked for already.
// Returns only when the program goes on as it was (nothing to do, or it could not start again).
void RestartWithHeapPages(char** argv);

}  // namespace tindrel
