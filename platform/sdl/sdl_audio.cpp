// The audio output over SDL2: a callback-driven queue of blocks that never waits, plays silence
// when it runs dry and signals the block-done event as each block is consumed.
#include <SDL.h>


#include "platform/audio.h"
#include "platform/block_queue.h"

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
        SDL_LockAudioDevice(device_);
        const bool queued = queue_.push(block);
        SDL_UnlockAudioDevice(device_);
        return queued;
    }

    void reset() override {
        if (device_ == 0) return;
        SDL_LockAudioDevice(device_);
        queue_.clear();
        SDL_UnlockAudioDevice(device_);
    }

private:
    // Runs on SDL's audio thread with the device lock held, so the queue needs no other lock.
    static void callback(void* user, Uint8* stream, int len) {
        auto* self = static_cast<SdlAudioOutput*>(user);
        self->queue_.consume(reinterpret_cast<int16_t*>(stream), len / 4, self->blockDone);
    }

    bool initialised_ = false;
    SDL_AudioDeviceID device_ = 0;
    BlockQueue queue_;
};

} // namespace

std::unique_ptr<AudioOutput> openAudioOutput(int rate, AutoResetEvent& blockDone) {
    auto output = std::make_unique<SdlAudioOutput>();
    output->blockDone = &blockDone;
    if (!output->open(rate)) return nullptr;
    return output;
}

} // namespace kestrune
