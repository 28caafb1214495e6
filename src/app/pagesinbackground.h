#pragma once

#include <cstddef>

namespace vorn {

// Has the system back the whole pages of [data, data + bytes) with memory on a
// thread of its own, so that the caller, about to write them, does not take
// one fault per page itself: a million grid rows are a few hundred megabytes
// of fresh pages, and faulting them in is a good part of filling them.
//
// Nothing is written: the range may be in use, and even freed meanwhile.
// Ranges under a megabyte, and systems without the means, are left alone.
void PopulatePagesInBackground(const void *data, std::size_t bytes);

} // namespace vorn
