// The show's soundtrack: an original piece in A minor, one section per part of the show.
#pragma once

#include <vector>

#include "content/xm_writer.h"

namespace kestrune {

struct Soundtrack {
    XmModule module;
    // Order position at which each of the nine parts' sections begins, plus the song length.
    std::vector<int> partStartOrder;
};

Soundtrack composeSoundtrack();

} // namespace kestrune
