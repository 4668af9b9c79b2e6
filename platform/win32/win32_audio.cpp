// The audio output over the wave mapper: waveOut notifies an auto-reset event whenever a block
// has played; a relay thread marks the finished blocks done and signals the block-done event.
#include <windows.h>

#include <mmsystem.h>

#include <array>
#include <atomic>
#include <mutex>
#include <thread>

#include "platform/audio.h"

namespace kestrune {
namespace {

class WaveOutOutput final : public AudioOutput {
public:
    ~WaveOutOutput() override { close(); }

    bool open(int rate) {
        if (waveOutGetNumDevs() == 0) return false;
        // Auto-reset, not signalled: each wake-up answers one or more finished blocks.
        event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (!event_) return false;
        WAVEFORMATEX format{};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 2;
        format.nSamplesPerSec = static_cast<DWORD>(rate);
        format.wBitsPerSample = 16;
        format.nBlockAlign = 4;
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        if (waveOutOpen(&wave_, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(event_), 0,
                        CALLBACK_EVENT) != MMSYSERR_NOERROR) {
            wave_ = nullptr;
            return false;
        }
        if (waveOutReset(wave_) != MMSYSERR_NOERROR) return false;
        relay_ = std::thread([this] { relay(); });
        return true;
    }

    bool write(AudioBlock& block) override {
        if (!wave_) return false;
        std::lock_guard<std::mutex> lock(mutex_);
        Slot* slot = slotFor(block);
        if (!slot) return false;
        WAVEHDR& header = slot->header;
        if (slot->prepared) waveOutUnprepareHeader(wave_, &header, sizeof header);
        slot->prepared = false;
        header = WAVEHDR{};
        header.lpData = reinterpret_cast<LPSTR>(block.data);
        header.dwBufferLength = static_cast<DWORD>(block.frames) * 4;
        if (waveOutPrepareHeader(wave_, &header, sizeof header) != MMSYSERR_NOERROR) return false;
        slot->prepared = true;
        block.done.store(false, std::memory_order_release);
        slot->pending = true;
        if (waveOutWrite(wave_, &header, sizeof header) != MMSYSERR_NOERROR) {
            slot->pending = false;
            block.done.store(true, std::memory_order_release);
            return false;
        }
        return true;
    }

    void reset() override {
        if (!wave_) return;
        // Marks every queued header done and signals the event; the blocks are settled here
        // so the caller sees them done as soon as this returns.
        waveOutReset(wave_);
        std::lock_guard<std::mutex> lock(mutex_);
        for (Slot& slot : slots_) {
            if (!slot.pending) continue;
            slot.pending = false;
            slot.block->done.store(true, std::memory_order_release);
        }
    }

    void close() override {
        if (relay_.joinable()) {
            stopping_.store(true);
            SetEvent(event_);
            relay_.join();
        }
        if (wave_) {
            waveOutReset(wave_);
            for (Slot& slot : slots_)
                if (slot.prepared) waveOutUnprepareHeader(wave_, &slot.header, sizeof slot.header);
            waveOutClose(wave_);
            wave_ = nullptr;
        }
        if (event_) CloseHandle(event_);
        event_ = nullptr;
    }

private:
    struct Slot {
        AudioBlock* block = nullptr;
        WAVEHDR header{};
        bool prepared = false;
        bool pending = false; // written and not yet reported done
    };

    // The block's own slot, or a free one; blocks keep their slot for the whole run.
    Slot* slotFor(AudioBlock& block) {
        for (Slot& slot : slots_)
            if (slot.block == &block) return &slot;
        for (Slot& slot : slots_)
            if (!slot.block) {
                slot.block = &block;
                return &slot;
            }
        return nullptr;
    }

    void relay() {
        raiseThreadPriority();
        for (;;) {
            WaitForSingleObject(event_, INFINITE);
            if (stopping_.load()) return;
            bool finished = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (Slot& slot : slots_) {
                    if (!slot.pending || !(slot.header.dwFlags & WHDR_DONE)) continue;
                    slot.pending = false;
                    slot.block->done.store(true, std::memory_order_release);
                    finished = true;
                }
            }
            if (finished && blockDone) blockDone->signal();
        }
    }

    HANDLE event_ = nullptr;
    HWAVEOUT wave_ = nullptr;
    std::array<Slot, 16> slots_{};
    std::mutex mutex_; // the slots, between the writer and the relay thread
    std::thread relay_;
    std::atomic<bool> stopping_{false};
};

} // namespace

std::unique_ptr<AudioOutput> openAudioOutput(int rate, AutoResetEvent& blockDone) {
    auto output = std::make_unique<WaveOutOutput>();
    output->blockDone = &blockDone;
    if (!output->open(rate)) return nullptr;
    return output;
}

} // namespace kestrune
