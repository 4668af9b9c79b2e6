// The software mixer: adds one voice into the mixing ring, resampled, panned and ramped.
#pragma once

#include "music/sound_buffer.h"
#include "music/voice.h"

namespace kestrune {

class Mixer {
public:
    virtual ~Mixer() = default;
    // Adds count frames of the voice into the ring; 1 if it mixed, 0 if there was nothing to mix.
    virtual int mixVoice(Voice& voice, SoundBuffer* ring, int count) = 0;
    virtual int rampingOn() const = 0;
};

// MixScalarKernels mixes with the scalar definition of the inner loops instead of the packed
// ones: the same output, slower; fuzzing compares the two.
enum MixerSwitch : int { MixRamping = 1, MixInterpolation = 2, MixScalarKernels = 4 };

class SampleMixer final : public Mixer {
public:
    explicit SampleMixer(int switches) : switches_(switches) {}
    int mixVoice(Voice& voice, SoundBuffer* ring, int count) override;
    int rampingOn() const override { return switches_ & MixRamping; }
    int interpolationOn() const { return (switches_ & MixInterpolation) ? 1 : 0; }
    bool scalarKernels() const { return (switches_ & MixScalarKernels) != 0; }

private:
    int switches_; // MixerSwitch bits
};

// Voices never step more than this many frames per output frame, so that every read stays within
// a sample's spare bytes (frequencies beyond it are played at it).
constexpr int kMaxStep = 63;

} // namespace kestrune
