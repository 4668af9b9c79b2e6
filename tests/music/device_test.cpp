// The output device: attach and detach, rendering by ticks, releasing voices, the output thread
// with fake, offline and SDL disk outputs, and attach/detach racing a running thread.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "music/module_player.h"
#include "music/offline_output.h"
#include "music/wave_out_device.h"
#include "xm_builder.h"

namespace kestrune {
namespace {

using test::XmBuilder;

uint32_t fixedClock() {
    return 1000;
}

// Records every block written and leaves it queued until the test releases it.
class FakeOutput final : public AudioOutput {
public:
    explicit FakeOutput(bool playAtOnce = false, bool threadless = false)
        : playAtOnce_(playAtOnce), threadless_(threadless) {}
    bool threadless() const override { return threadless_; }
    bool write(AudioBlock& block) override {
        if (playAtOnce_) {
            blockDone->signal();
            return true;
        }
        block.done = false;
        std::lock_guard<std::mutex> lock(mutex);
        written.emplace_back(block.data, block.data + 2 * block.frames);
        blocks.push_back(&block);
        changed.notify_all();
        return true;
    }
    void reset() override {
        std::lock_guard<std::mutex> lock(mutex);
        resets++;
    }
    bool waitForWrites(size_t n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10),
                                [&] { return written.size() >= n; });
    }
    // Plays the oldest queued block.
    void consume() {
        AudioBlock* b;
        {
            std::lock_guard<std::mutex> lock(mutex);
            b = blocks[consumed++];
        }
        b->done = true;
        blockDone->signal();
        if (threadless_) refill(refillOwner); // a threadless output refills from its callback
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<int16_t>> written;
    std::vector<AudioBlock*> blocks;
    size_t consumed = 0;
    int resets = 0;

private:
    bool playAtOnce_;
    bool threadless_;
};

XmBuilder song(int channels = 2) {
    XmBuilder b;
    b.channels = channels;
    b.addPattern(64);
    b.instruments.push_back(test::loopingInstrument(64));
    for (int row = 0; row < 64; row += 4) b.cell(0, row, 0) = {49 + row % 12, 1};
    return b;
}

TEST(WaveOutDevice, AttachClaimsVoicesAndDetachFreesThem) {
    WaveOutDevice device;
    ModulePlayer a, b, none;
    ASSERT_EQ(a.loadFromMemory(song(32).bytes()), 32);
    ASSERT_EQ(b.loadFromMemory(song(32).bytes()), 32);
    EXPECT_EQ(device.attach(&a), 1);
    EXPECT_EQ(device.sources[kSourceSlots - 1], &a); // highest empty slot
    EXPECT_EQ(a.voices[0], &device.voices[0]);       // voices in pool order
    EXPECT_EQ(a.voices[31], &device.voices[31]);
    EXPECT_EQ(device.voices[0].state, VoiceOwned);
    EXPECT_EQ(device.attach(&a), 0); // already attached
    EXPECT_EQ(device.attach(&b), 1);
    EXPECT_EQ(device.sources[kSourceSlots - 2], &b);
    ModulePlayer c;
    ASSERT_EQ(c.loadFromMemory(song(32).bytes()), 32);
    EXPECT_EQ(device.attach(&c), 0); // 6 voices left: all or none
    EXPECT_EQ(device.voices[64].state, VoiceFree);
    EXPECT_EQ(c.voices[0], nullptr);
    EXPECT_EQ(device.attach(&none), 1); // no channels: owns no voice and is skipped
    EXPECT_EQ(device.detach(&a), 1);
    EXPECT_EQ(device.detach(&a), 0);
    EXPECT_EQ(a.attached, 0);
    EXPECT_EQ(device.voices[0].state, VoiceFree);
    EXPECT_EQ(device.sources[kSourceSlots - 1], nullptr);
    int16_t block[2 * kBlockFrames];
    device.render(block, kBlockFrames);
    EXPECT_EQ(device.voices[0].time, kBlockFrames); // freed voices only advance
}

TEST(WaveOutDevice, RenderTicksInWholeTicksOf882Frames) {
    WaveOutDevice device;
    device.setClock(fixedClock);
    ModulePlayer player;
    ASSERT_EQ(player.loadFromMemory(song().bytes()), 2);
    ASSERT_EQ(device.attach(&player), 1);
    std::vector<int16_t> block(2 * kBlockFrames);
    device.render(block.data(), kBlockFrames);
    // 125 BPM: 50 ticks a second, 882 frames a tick; 10 ticks cover 8250 frames.
    EXPECT_EQ(player.voices[0]->time, 8820);
    EXPECT_EQ(player.voices[1]->time, 8820);
    EXPECT_EQ(device.total, 8250);
    EXPECT_EQ(device.readPosition, 8250);
    // Stamped 548 ms ahead of the clock, then 20 ms a tick.
    EXPECT_EQ(player.syncTime, 1000 + 548 + 10 * 20);
    EXPECT_TRUE(std::any_of(block.begin(), block.end(), [](int16_t s) { return s != 0; }));
    // The frames beyond total wait in the ring; what was copied out was cleared.
    EXPECT_EQ(device.ring.samples16()[0], 0);
    device.render(block.data(), kBlockFrames);
    EXPECT_EQ(player.voices[0]->time, 8820 + 9 * 882);
}

TEST(WaveOutDevice, ReleasingVoicesAreMixedAndFreed) {
    WaveOutDevice device;
    ModulePlayer player;
    XmBuilder b = song(1);
    b.speed = 1;
    ASSERT_EQ(player.loadFromMemory(b.bytes()), 1);
    ASSERT_EQ(device.attach(&player), 1);
    int16_t block[2 * kBlockFrames];
    // Every fourth row replaces a sounding note: the old one fades out in a spare voice that is
    // mixed for 512 frames at the tick where it was released and is free again after it.
    device.render(block, kBlockFrames);
    device.render(block, kBlockFrames);
    for (const Voice& v : device.voices) EXPECT_NE(v.state, VoiceReleasing);
    EXPECT_EQ(device.voices[1].state, VoiceFree);
    EXPECT_GT(device.voices[1].time, 0); // it was used: placed at its channel's time and mixed

    // One left releasing from outside a render is finished in 512-frame slices.
    Voice& spare = device.voices[5];
    spare = *player.voices[0];
    spare.state = VoiceReleasing;
    spare.volume = 0;
    spare.time = device.total;
    device.render(block, kBlockFrames);
    EXPECT_EQ(spare.state, VoiceFree);
    EXPECT_GE(spare.time, device.total);
    EXPECT_LT(spare.time, device.total + kReleaseSlice);

    // Detaching ends a pending fade, so the player may be destroyed right after.
    spare = *player.voices[0];
    spare.state = VoiceReleasing;
    EXPECT_EQ(device.detach(&player), 1);
    EXPECT_EQ(spare.state, VoiceFree);
    EXPECT_EQ(spare.sample, nullptr);
    EXPECT_EQ(device.voices[0].sample, nullptr);
}

TEST(WaveOutDevice, FirstWakeRendersFourBlocksThenOneAPerBlockPlayed) {
    WaveOutDevice device;
    auto output = std::make_unique<FakeOutput>();
    FakeOutput* fake = output.get();
    ModulePlayer player;
    ASSERT_EQ(player.loadFromMemory(song().bytes()), 2);
    ASSERT_EQ(device.attach(&player), 1);
    ASSERT_EQ(device.open(std::move(output)), 4);
    ASSERT_TRUE(fake->waitForWrites(4));
    {
        std::lock_guard<std::mutex> lock(device.lock());
        EXPECT_EQ(device.total, kLatencyFrames);
    }
    fake->consume();
    ASSERT_TRUE(fake->waitForWrites(5));
    EXPECT_EQ(fake->blocks[4], fake->blocks[0]); // the played block is refilled
    {
        std::lock_guard<std::mutex> lock(device.lock());
        EXPECT_EQ(device.total, kLatencyFrames + kBlockFrames);
    }
    EXPECT_EQ(device.detach(&player), 1);
    EXPECT_EQ(device.stop(), 1);
    EXPECT_EQ(device.stopped, 1);
    EXPECT_EQ(fake->resets, 1);
}

// Where the platform has no threads (the web), the output's callback does the thread's work: the
// four blocks are queued by open itself and each played block is refilled before consume returns.
TEST(WaveOutDevice, ThreadlessOutputIsFedFromItsOwnCallback) {
    WaveOutDevice device;
    auto output = std::make_unique<FakeOutput>(false, true);
    FakeOutput* fake = output.get();
    ModulePlayer player;
    ASSERT_EQ(player.loadFromMemory(song().bytes()), 2);
    ASSERT_EQ(device.attach(&player), 1);
    ASSERT_EQ(device.open(std::move(output)), 4);
    EXPECT_EQ(fake->written.size(), 4u);
    EXPECT_EQ(device.open(std::make_unique<FakeOutput>(false, true)), 0); // already open
    fake->consume();
    ASSERT_EQ(fake->written.size(), 5u);
    EXPECT_EQ(fake->blocks[4], fake->blocks[0]);
    EXPECT_EQ(device.total, kLatencyFrames + kBlockFrames);
    EXPECT_EQ(device.detach(&player), 1);
    EXPECT_EQ(device.stop(), 1);
    EXPECT_EQ(device.stopped, 1);
    EXPECT_EQ(fake->resets, 1);
}

TEST(WaveOutDevice, OfflineOutputHearsExactlyTheRenderPath) {
    const std::vector<uint8_t> bytes = song().bytes();
    ModulePlayer a;
    ASSERT_EQ(a.loadFromMemory(bytes), 2);
    WaveOutDevice threaded;
    auto output = std::make_unique<OfflineOutput>(3 * kBlockFrames + 100);
    OfflineOutput* offline = output.get();
    threaded.attach(&a);
    threaded.open(std::move(output));
    ASSERT_TRUE(offline->waitFinished());
    threaded.stop();
    ASSERT_EQ(offline->frames().size(), 2u * (3 * kBlockFrames + 100));

    ModulePlayer b;
    ASSERT_EQ(b.loadFromMemory(bytes), 2);
    WaveOutDevice direct;
    direct.attach(&b);
    std::vector<int16_t> expected(2 * 4 * kBlockFrames);
    for (int i = 0; i < 4; ++i) direct.render(expected.data() + 2 * i * kBlockFrames, kBlockFrames);
    expected.resize(offline->frames().size());
    EXPECT_EQ(offline->frames(), expected);
}

TEST(WaveOutDevice, AttachAndDetachRaceARunningThread) {
    // The device's lock keeps attach and detach out of a render (run under ThreadSanitizer).
    WaveOutDevice device;
    auto output = std::make_unique<FakeOutput>(true);
    ASSERT_EQ(device.open(std::move(output)), 4);
    ModulePlayer players[3];
    for (ModulePlayer& p : players) ASSERT_EQ(p.loadFromMemory(song(8).bytes()), 8);
    for (int round = 0; round < 200; ++round) {
        ModulePlayer& p = players[round % 3];
        if (p.attached)
            EXPECT_EQ(device.detach(&p), 1);
        else
            EXPECT_EQ(device.attach(&p), 1);
    }
    for (ModulePlayer& p : players) device.detach(&p);
    EXPECT_EQ(device.stop(), 1);
    EXPECT_EQ(device.stopped, 1);
    for (const Voice& v : device.voices) EXPECT_EQ(v.state, VoiceFree);
}

#ifndef _WIN32 // the SDL audio drivers chosen through the environment
TEST(WaveOutDevice, SdlDiskDriverPlaysTheBlocks) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("krv-disk-audio-" + std::to_string(getpid()));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    const std::vector<uint8_t> bytes = song().bytes();
    ModulePlayer player;
    ASSERT_EQ(player.loadFromMemory(bytes), 2);
    {
        WaveOutDevice device;
        device.attach(&player);
        if (device.open() == 0) GTEST_SKIP() << "SDL has no disk audio driver here";
        // Wait until two blocks beyond the first four were rendered: the first block has then
        // been played and written out in full.
        for (int i = 0; i < 1000; ++i) {
            {
                std::lock_guard<std::mutex> lock(device.lock());
                if (device.total >= 6 * kBlockFrames) break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        device.detach(&player);
        device.stop();
    }
    std::ifstream in(file, std::ios::binary);
    std::vector<char> played((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    std::filesystem::remove(file);
    unsetenv("SDL_AUDIODRIVER");
    ASSERT_GE(played.size(), 6u * 4 * kBlockFrames);

    ModulePlayer again;
    ASSERT_EQ(again.loadFromMemory(bytes), 2);
    WaveOutDevice direct;
    direct.attach(&again);
    std::vector<int16_t> expected(2 * 6 * kBlockFrames);
    for (int i = 0; i < 6; ++i) direct.render(expected.data() + 2 * i * kBlockFrames, kBlockFrames);
    // The output plays silence until the first block arrives, and whenever the disk driver,
    // which runs faster than real time, drains the queue: compare the first block's sound.
    std::vector<int16_t> heard(played.size() / 2);
    std::memcpy(heard.data(), played.data(), heard.size() * 2);
    const auto audible = [](int16_t s) { return s != 0; };
    const size_t a =
        static_cast<size_t>(std::find_if(heard.begin(), heard.end(), audible) - heard.begin()) &
        ~size_t{1};
    const size_t b = static_cast<size_t>(std::find_if(expected.begin(), expected.end(), audible) -
                                         expected.begin()) &
                     ~size_t{1};
    const size_t blockEnd = 2 * kBlockFrames;
    ASSERT_LT(b, blockEnd);
    ASSERT_GE(heard.size(), a + blockEnd - b);
    EXPECT_TRUE(std::equal(expected.begin() + static_cast<std::ptrdiff_t>(b),
                           expected.begin() + static_cast<std::ptrdiff_t>(blockEnd),
                           heard.begin() + static_cast<std::ptrdiff_t>(a)));
}

TEST(WaveOutDevice, OpenWithoutADeviceFails) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    WaveOutDevice device;
    EXPECT_EQ(device.open(), 0);
    unsetenv("SDL_AUDIODRIVER");
    EXPECT_EQ(device.open(nullptr), 0);
    EXPECT_EQ(device.stop(), 1);
}
#endif

} // namespace
} // namespace kestrune
