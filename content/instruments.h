// The show's synthesised instruments: drums, bass, pad, lead, pluck, bell and noise sweep.
#pragma once

#include <vector>

#include "content/xm_writer.h"

namespace kestrune {

// Instrument numbers (1-based, as patterns name them).
enum InstrumentNumber : uint8_t {
    InstKick = 1,
    InstSnare,
    InstHat, // closed hat below C-5, open hat from C-5
    InstBass,
    InstPad,
    InstLead,
    InstPluck,
    InstBell,
    InstSweep,
};

std::vector<XmInstrument> makeInstruments();

} // namespace kestrune
