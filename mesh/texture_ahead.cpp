// Texture images decoded on a thread of their own while the loaders go on, and uploaded on the
// loading thread in the order they were asked for.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "archive/content_file.h"
#include "mesh/texture.h"

namespace kestrune {
namespace {

struct TextureJob {
    uint16_t index = 0;
    uint8_t mipmap = 0;
    TextureUploadFn upload = nullptr;
    std::optional<std::vector<uint8_t>> bytes; // none: found nowhere
    // Written by the decoder, read by the loading thread once done is set (under the lock).
    bool done = false;
    int32_t width = 0, height = 0;
    std::optional<std::vector<uint8_t>> pixels;
};

struct Ahead;
void stopDecoder(Ahead& a);

struct Ahead {
    ~Ahead() { stopDecoder(*this); } // a holder still alive at exit must not end the process
    int holders = 0;                 // loading thread only
    std::vector<std::unique_ptr<TextureJob>> // loading thread only: every job not yet uploaded
        requested;
    std::thread decoder; // started with the first job of a session
    std::mutex mutex;
    std::condition_variable wake, decoded;
    std::deque<TextureJob*> queue; // under mutex: jobs the decoder has not taken yet
    bool stopping = false;         // under mutex
};

Ahead& ahead() {
    static Ahead a;
    return a;
}

// The job's image, none when its file was found nowhere or does not decode.
std::optional<std::vector<uint8_t>> decodeBytes(const TextureJob& job, int32_t& width,
                                                int32_t& height) {
    if (!job.bytes) return std::nullopt;
    return decodeJpegBytes(job.bytes->data(), job.bytes->size(), width, height);
}

void decodeJobs() {
    Ahead& a = ahead();
    std::unique_lock lock(a.mutex);
    for (;;) {
        a.wake.wait(lock, [&] { return a.stopping || !a.queue.empty(); });
        if (a.queue.empty()) return;
        TextureJob* job = a.queue.front();
        a.queue.pop_front();
        lock.unlock();
        int32_t width = 0, height = 0;
        auto pixels = decodeBytes(*job, width, height);
        lock.lock();
        job->width = width;
        job->height = height;
        job->pixels = std::move(pixels);
        job->done = true;
        a.decoded.notify_all();
    }
}

// A job the decoder never took, decoded on the loading thread.
void decodeHere(TextureJob& job) {
    job.pixels = decodeBytes(job, job.width, job.height);
    job.done = true;
}

void stopDecoder(Ahead& a) {
    if (!a.decoder.joinable()) return;
    {
        std::lock_guard lock(a.mutex);
        a.stopping = true;
    }
    a.wake.notify_all();
    a.decoder.join();
    a.stopping = false;
}

// An image decoded from the kept archive before any loader asked for it.
struct Guess {
    std::vector<uint8_t> bytes; // what it was decoded from
    int32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

struct Guesses {
    std::mutex mutex;
    std::unordered_map<std::string, Guess> byName; // under mutex
};

// Never destroyed: the archive's read-ahead thread may still be decoding into it while the
// process ends (it is stopped by another static's destructor).
Guesses& guesses() {
    static Guesses& g = *new Guesses;
    return g;
}

// On the archive's read-ahead thread. Only images that decode without a word are kept: one the
// decoder has something to say about is decoded again when asked for, and says it then.
void guessFromEntry(const char* name, std::vector<uint8_t>&& bytes) {
    const bool jpeg = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
    if (!jpeg) return;
    Guess guess;
    auto pixels = decodeJpegQuietly(bytes.data(), bytes.size(), guess.width, guess.height);
    if (!pixels) return;
    guess.bytes = std::move(bytes);
    guess.pixels = std::move(*pixels);
    Guesses& g = guesses();
    std::lock_guard lock(g.mutex);
    g.byName.insert_or_assign(name, std::move(guess));
}

// Fills the job from the image decoded ahead for this name when it was decoded from the bytes the
// job read; either way that image is dropped, as each name is asked for once.
bool takeGuess(const char* name, TextureJob& job) {
    Guesses& g = guesses();
    std::lock_guard lock(g.mutex);
    const auto found = g.byName.find(name);
    if (found == g.byName.end()) return false;
    Guess& guess = found->second;
    const bool same = job.bytes && *job.bytes == guess.bytes;
    if (same) {
        job.width = guess.width;
        job.height = guess.height;
        job.pixels = std::move(guess.pixels);
        job.done = true;
    }
    g.byName.erase(found);
    return same;
}

} // namespace

void decodeArchiveTexturesAhead(bool on) {
    setUnpackedEntryHook(on ? guessFromEntry : nullptr);
    if (on) return;
    Guesses& g = guesses();
    std::lock_guard lock(g.mutex);
    g.byName.clear();
}

size_t archiveTexturesWaiting() {
    Guesses& g = guesses();
    std::lock_guard lock(g.mutex);
    return g.byName.size();
}

TexturesDecodedAhead::TexturesDecodedAhead() {
    ++ahead().holders;
}

TexturesDecodedAhead::~TexturesDecodedAhead() {
    finishTextureLoads();
    if (--ahead().holders == 0) stopDecoder(ahead());
}

bool decodeTextureAhead(uint16_t index, const char* name, uint8_t mipmap, TextureUploadFn upload) {
    Ahead& a = ahead();
    if (a.holders == 0 || !loadingThreadsAvailable()) return false;
    auto job = std::make_unique<TextureJob>();
    job->index = index;
    job->mipmap = mipmap;
    job->upload = upload;
    // Read here, in request order, so that what is found is what the show finds at this point.
    job->bytes = readContentFile(name);
    if (takeGuess(name, *job)) {
        a.requested.push_back(std::move(job));
        return true;
    }
    // Started with the first image not decoded ahead.
    if (!a.decoder.joinable()) {
        try {
            a.decoder = std::thread(decodeJobs);
        } catch (const std::system_error&) {
            return false; // no thread to be had: decoded here, one by one
        }
    }
    {
        std::lock_guard lock(a.mutex);
        a.queue.push_back(job.get());
    }
    a.wake.notify_one();
    a.requested.push_back(std::move(job));
    return true;
}

void finishTextureLoads() {
    Ahead& a = ahead();
    // Images the thread has not started are decoded here rather than waited for (it may be
    // waiting for a core); one it is decoding is waited for, so that messages keep their order.
    std::deque<TextureJob*> left;
    {
        std::lock_guard lock(a.mutex);
        left.swap(a.queue);
    }
    for (auto& job : a.requested) {
        if (!left.empty() && left.front() == job.get()) {
            left.pop_front();
            decodeHere(*job);
        } else {
            std::unique_lock lock(a.mutex);
            a.decoded.wait(lock, [&] { return job->done; });
        }
        TextureSlot& slot = textureTable.slots[job->index];
        slot.width = job->width;
        slot.height = job->height;
        uploadDecoded(job->index, slot, std::move(job->pixels), job->mipmap, job->upload);
    }
    a.requested.clear();
}

} // namespace kestrune
