// Reading motion blocks and envelopes from a scene's token stream.
#pragma once

#include "scene/motion.h"
#include "scene/tokens.h"

namespace kestrune {

// Reads one motion block (the reader stands after the block's name token): channel count, key
// count, the keys, then a search for "EndBehavior" and its integer.
void readMotion(TokenReader& reader, Motion& motion);

// Reads "(envelope)" and a motion block, or else a constant as a one-key envelope.
void readEnvelope(TokenReader& reader, Envelope& envelope);

} // namespace kestrune
