// The output device: attaching sources, the output thread and rendering blocks.
#include "music/wave_out_device.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"

namespace kestrune {

WaveOutDevice::WaveOutDevice(int mixerSwitches)
    : ring(createMixRing()), mixer_(std::make_unique<SampleMixer>(mixerSwitches)),
      clock_(clockMilliseconds) {
    for (Block& b : blocks_) {
        b.data.assign(2 * kBlockFrames, 0);
        b.block.data = b.data.data();
        b.block.frames = kBlockFrames;
    }
}

WaveOutDevice::~WaveOutDevice() {
    if (thread_.joinable()) stop();
    // Sources outliving the device must not reach back into it.
    for (SoundSource* source : sources)
        if (source) {
            source->attached = 0;
            source->device = nullptr;
        }
}

int WaveOutDevice::open() {
    if (running()) return 0;
    std::unique_ptr<AudioOutput> output = openAudioOutput(kMixRate, event_);
    if (!output) return 0;
    return open(std::move(output));
}

int WaveOutDevice::open(std::unique_ptr<AudioOutput> output) {
    if (!output || running()) return 0;
    output_ = std::move(output);
    // An output opened for this device already signals its event, and its callback may be running:
    // only an output made elsewhere (a test's, the page's) is pointed at it here.
    if (output_->blockDone != &event_) output_->blockDone = &event_;
    event_.reset();
    stopRequest_ = false;
    stopped = 0;
    if (output_->threadless()) { // the output's own callback does the thread's work
        output_->refillOwner = this;
        output_->refill = [](void* device) {
            static_cast<WaveOutDevice*>(device)->fillDoneBlocks();
        };
        fillDoneBlocks();
        return 4;
    }
    thread_ = std::thread([this] { outputThread(); });
    // The open notification: wakes the thread for its first four blocks.
    event_.signal();
    return 4;
}

int WaveOutDevice::stop() {
    if (output_ && output_->threadless()) {
        closeOutput();
        return 1;
    }
    stopRequest_ = true;
    stopped = 0;
    event_.signal();
    // The thread resets the output, lets it fall quiet for 200 ms and closes it; waiting for it
    // here replaces the fixed pause and lets the device be destroyed safely afterwards.
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    return 1;
}

void WaveOutDevice::outputThread() {
    raiseThreadPriority();
    for (;;) {
        event_.wait();
        if (stopRequest_) break;
        fillDoneBlocks();
    }
    closeOutput();
}

void WaveOutDevice::fillDoneBlocks() {
    for (Block& b : blocks_) {
        if (!b.queued || !b.block.done.load(std::memory_order_acquire)) continue;
        render(b.data.data(), kBlockFrames);
        if (!output_->write(b.block)) b.queued = false;
    }
}

void WaveOutDevice::closeOutput() {
    output_->reset();
    // Lets a sound device fall quiet before it is closed.
    if (output_->realTime()) sleepMilliseconds(200);
    output_->close();
    stopped = 1;
}

int WaveOutDevice::attach(SoundSource* source) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!source || source->attached) return 0;
    int slot = -1;
    for (int i = kSourceSlots - 1; i >= 0; --i)
        if (!sources[i]) {
            slot = i;
            break;
        }
    if (slot < 0) return 0;
    const int needed = std::clamp(source->voicesNeeded, 0, kMaxSourceVoices);
    int found = 0;
    for (Voice& v : voices) {
        if (found == needed) break;
        if (v.state == VoiceFree) source->voices[found++] = &v;
    }
    if (found < needed) {
        for (int i = 0; i < found; ++i) source->voices[i] = nullptr;
        return 0;
    }
    for (int i = 0; i < found; ++i) source->voices[i]->state = VoiceOwned;
    source->device = this;
    sources[slot] = source;
    source->attached = 1;
    source->resetChannels();
    source->restart();
    return 1;
}

int WaveOutDevice::detach(SoundSource* source) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (SoundSource*& slot : sources) {
        if (slot != source || !source) continue;
        source->attached = 0;
        // The voices forget the source's samples, and fades still to be mixed end here: a
        // source may be destroyed once detached, and nothing may mix its samples after that.
        for (Voice*& v : source->voices) {
            if (v) {
                v->state = VoiceFree;
                v->sample = nullptr;
            }
            v = nullptr;
        }
        for (Voice& v : voices)
            if (v.state == VoiceReleasing) {
                v.state = VoiceFree;
                v.sample = nullptr;
            }
        slot = nullptr;
        return 1;
    }
    return 0;
}

Voice* WaveOutDevice::firstFreeVoice() {
    for (Voice& v : voices)
        if (v.state == VoiceFree) return &v;
    return nullptr;
}

void WaveOutDevice::mixReleasing(int frames) {
    for (Voice& v : voices) {
        if (v.state != VoiceReleasing) continue;
        mixer_->mixVoice(v, &ring, frames);
        v.state = VoiceFree;
    }
}

void WaveOutDevice::render(int16_t* out, int frames) {
    std::lock_guard<std::mutex> guard(mutex_);
    total += frames;
    for (Voice& v : voices) {
        if (v.state == VoiceReleasing) {
            while (v.time < total) mixer_->mixVoice(v, &ring, kReleaseSlice);
            v.state = VoiceFree;
        } else if (v.state == VoiceFree) {
            v.time = total;
        }
    }
    for (SoundSource* source : sources) {
        if (!source || source->voicesNeeded <= 0 || !source->voices[0]) continue;
        const int count = std::min(source->voicesNeeded, kMaxSourceVoices);
        Voice* first = source->voices[0];
        if (first->time == -1) {
            // Every voice of a source that was never placed starts at the read position (a
            // lone first voice would leave the others mixing at time -1).
            for (int i = 0; i < count; ++i)
                if (source->voices[i]->time == -1) source->voices[i]->time = readPosition;
        }
        source->syncTime = static_cast<int>(clock_() + kLatencyFrames * 1000 / kMixRate - 200);
        while (first->time < total) {
            source->tick();
            const float ticksPerSecond = source->ticksPerSecond();
            // A source's tempo is kept within 12.8..102 ticks per second; the clamp keeps any
            // source's ticks between one frame and a third of the ring.
            const float perTick = static_cast<float>(kMixRate) / ticksPerSecond;
            const int framesPerTick =
                perTick >= 1 ? static_cast<int>(std::min(perTick, kMixRate / 3.0f)) : 1;
            source->syncTime =
                static_cast<int>(static_cast<float>(source->syncTime) + 1000.0f / ticksPerSecond);
            for (int i = 0; i < count; ++i)
                mixer_->mixVoice(*source->voices[i], &ring, framesPerTick);
            mixReleasing(kReleaseSlice);
        }
    }
    const RingRegion region =
        mixRingRegion(ring, readPosition, static_cast<int>(total - readPosition));
    int16_t* ringFrames = ring.samples16();
    for (const RingSpan& span : {region.first, region.second}) {
        if (span.count == 0) continue;
        const size_t bytes = static_cast<size_t>(span.count) * 4;
        std::memcpy(out, ringFrames + 2 * span.start, bytes);
        std::memset(ringFrames + 2 * span.start, 0, bytes);
        out += 2 * span.count;
    }
    readPosition = total;
}

} // namespace kestrune
