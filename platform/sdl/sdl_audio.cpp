// The audio output over SDL2: a callback-driven queue of blocks that never waits, plays silence
// when it runs dry and signals the block-done event as each block is consumed.
#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/audio.h"

#ifdef KESTRUNE_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace kestrune {
namespace {

#ifdef KESTRUNE_HAVE_ALSA
// On a machine without a sound card the sound library prints its failed probes to standard
// error; the show then runs silent, which needs no words. SDL loads the same library, so this
// handler is the one it reports through.
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
#endif

class SdlAudioOutput final : public AudioOutput {
public:
    ~SdlAudioOutput() override { close(); }

    void close() override {
        if (device_ != 0) SDL_CloseAudioDevice(device_);
        device_ = 0;
        if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        initialised_ = false;
    }

    bool open(int rate) {
#ifdef KESTRUNE_HAVE_ALSA
        snd_lib_error_set_handler(&ignoreAlsaMessage);
#endif
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
        initialised_ = true;
        SDL_AudioSpec want{};
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        want.callback = &SdlAudioOutput::callback;
        want.userdata = this;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        if (device_ == 0) return false;
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    bool write(AudioBlock& block) override {
        if (device_ == 0) return false;
        block.done.store(false, std::memory_order_release);
        SDL_LockAudioDevice(device_);
        const bool room = count_ < queue_.size();
        if (room) {
            queue_[(head_ + count_) % queue_.size()] = &block;
            ++count_;
        }
        SDL_UnlockAudioDevice(device_);
        if (!room) block.done.store(true, std::memory_order_release);
        return room;
    }

    void reset() override {
        if (device_ == 0) return;
        SDL_LockAudioDevice(device_);
        while (count_ > 0) {
            queue_[head_]->done.store(true, std::memory_order_release);
            head_ = (head_ + 1) % queue_.size();
            --count_;
        }
        offset_ = 0;
        SDL_UnlockAudioDevice(device_);
    }

private:
    // Runs on SDL's audio thread with the device lock held, so the queue needs no other lock.
    static void callback(void* user, Uint8* stream, int len) {
        auto* self = static_cast<SdlAudioOutput*>(user);
        auto* out = reinterpret_cast<int16_t*>(stream);
        int frames = len / 4;
        while (frames > 0 && self->count_ > 0) {
            AudioBlock* block = self->queue_[self->head_];
            const int n = std::min(frames, block->frames - self->offset_);
            std::memcpy(out, block->data + 2 * self->offset_, static_cast<size_t>(n) * 4);
            out += 2 * n;
            frames -= n;
            self->offset_ += n;
            if (self->offset_ >= block->frames) {
                self->offset_ = 0;
                self->head_ = (self->head_ + 1) % self->queue_.size();
                --self->count_;
                block->done.store(true, std::memory_order_release);
                if (self->blockDone) self->blockDone->signal();
            }
        }
        if (frames > 0) std::memset(out, 0, static_cast<size_t>(frames) * 4);
    }

    bool initialised_ = false;
    SDL_AudioDeviceID device_ = 0;
    std::array<AudioBlock*, 16> queue_{};
    size_t head_ = 0, count_ = 0;
    int offset_ = 0; // frames of the head block already played
};

} // namespace

std::unique_ptr<AudioOutput> openAudioOutput(int rate, AutoResetEvent& blockDone) {
    auto output = std::make_unique<SdlAudioOutput>();
    output->blockDone = &blockDone;
    if (!output->open(rate)) return nullptr;
    return output;
}

} // namespace kestrune
