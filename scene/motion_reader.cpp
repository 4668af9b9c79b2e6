// Motion blocks and envelopes as the scene text carries them.
#include "scene/motion_reader.h"

#include <cstdint>

namespace kestrune {

namespace {

// A block leaves the motion without keys.
void dropKeys(Motion& motion) {
    allocateKeys(motion, 0);
    motion.channelCount = 0;
    motion.lastKeyFrame = 0;
}

} // namespace

void readMotion(TokenReader& reader, Motion& motion) {
    // Failed count reads keep the fields' values, as the formatted reads into them would.
    int32_t channels = motion.channelCount;
    readInt(reader, channels);
    int32_t keyCount = motion.keyCount;
    readInt(reader, keyCount);

    // Counts are checked before anything is allocated: a negative count, or more numbers than
    // the rest of the text can hold (each needs a character and a separator), rejects the block.
    // The motion then has no keys and the block's numbers pass the token loop as ordinary
    // tokens. This also bounds the reads below by the length of the text.
    const uint64_t remaining = reader.text.size() - reader.position;
    if (channels < 0 || keyCount < 0 ||
        static_cast<uint64_t>(keyCount) * (static_cast<uint64_t>(channels) + 5) * 2 >
            remaining + 1) {
        dropKeys(motion);
        return;
    }

    // Channels past the ninth are read so the stream stays in step, then dropped.
    motion.channelCount = channels < kMotionChannels ? channels : kMotionChannels;
    allocateKeys(motion, keyCount);
    motion.lastKeyFrame = 0;
    for (MotionKey& key : motion.keys) {
        for (int32_t c = 0; c < channels; ++c) {
            float dropped = 0;
            readFloat(reader, c < kMotionChannels ? key.values[c] : dropped);
        }
        readInt(reader, key.frame);
        readInt(reader, key.linear);
        readFloat(reader, key.tension);
        readFloat(reader, key.continuity);
        readFloat(reader, key.bias);
        motion.lastKeyFrame = key.frame;
    }
    if (findToken(reader, "EndBehavior")) readInt(reader, motion.endBehavior);
}

void readEnvelope(TokenReader& reader, Envelope& envelope) {
    const size_t mark = reader.position;
    std::string_view token;
    if (readToken(reader, token) && token == "(envelope)") {
        readMotion(reader, envelope);
        return;
    }
    reader.position = mark;
    float value = 0; // stays 0 when the constant is not a number
    readFloat(reader, value);
    allocateKeys(envelope, 1);
    envelope.keys[0].values[0] = value;
    envelope.channelCount = 1;
    envelope.lastKeyFrame = 0;
}

} // namespace kestrune
