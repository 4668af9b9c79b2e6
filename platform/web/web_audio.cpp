// The audio output in a web page: Web Audio pulls frames from the queued blocks as its clock
// asks for them, and each consumed block is refilled from that same callback (no threads).
#include <vector>

#include "platform/audio.h"
#include "platform/block_queue.h"
#include "platform/web/web_page.h"

namespace kestrune {
namespace {

constexpr int kCallbackFrames = 4096; // frames Web Audio asks for at a time

class WebAudioOutput final : public AudioOutput {
public:
    ~WebAudioOutput() override { close(); }

    bool open(int rate) {
        scratch_.assign(2 * kCallbackFrames, 0);
        current = this;
        open_ = kestrune_web_audio_open(rate, kCallbackFrames, &fill, scratch_.data()) != 0;
        if (!open_) current = nullptr;
        return open_;
    }

    void close() override {
        if (!open_) return;
        kestrune_web_audio_close();
        open_ = false;
        current = nullptr;
    }

    bool write(AudioBlock& block) override { return open_ && queue_.push(block); }
    void reset() override { queue_.clear(); }
    bool threadless() const override { return true; }

private:
    static void fill(int frames) {
        WebAudioOutput* self = current;
        if (!self || frames > kCallbackFrames) return;
        int finished = self->queue_.consume(self->scratch_.data(), frames, self->blockDone);
        if (finished > 0 && self->refill) self->refill(self->refillOwner);
    }

    static inline WebAudioOutput* current = nullptr; // the page has one audio output
    bool open_ = false;
    BlockQueue queue_;
    std::vector<int16_t> scratch_; // the frames handed to Web Audio, interleaved
};

} // namespace

std::unique_ptr<AudioOutput> openAudioOutput(int rate, AutoResetEvent& blockDone) {
    auto output = std::make_unique<WebAudioOutput>();
    output->blockDone = &blockDone;
    if (!output->open(rate)) return nullptr;
    return output;
}

} // namespace kestrune
