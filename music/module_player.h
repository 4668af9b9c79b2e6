// The module player: sequences the loaded module tick by tick into its channels' voices.
#pragma once

#include <vector>

#include "music/module.h"
#include "music/sound_source.h"

namespace kestrune {

struct EnvelopeCursor {
    int position = 0; // ticks
    const InstrumentEnvelope* envelope = nullptr;
    int held = 0;   // 1 while held at the sustain point
    int value = -1; // last value computed; -1 when none
};

// Row effects by their code in the effect column. Exy arrives as type 14 and plays as 0xE0 + x
// with parameter y; a parameter under type 0 plays as Arpeggio.
enum Effect : int {
    PortamentoUp = 1,
    PortamentoDown = 2,
    TonePortamento = 3,
    Vibrato = 4,
    TonePortamentoVolumeSlide = 5,
    VibratoVolumeSlide = 6,
    Tremolo = 7,
    SetPanning = 8,
    SampleOffset = 9,
    VolumeSlide = 10,
    PositionJump = 11,
    SetVolume = 12,
    PatternBreak = 13,
    Extended = 14,
    SpeedOrTempo = 15,
    GlobalVolume = 16,
    GlobalVolumeSlide = 17,
    KeyOff = 20,
    EnvelopePosition = 21,
    PanningSlide = 25,
    MultiRetrigger = 27,
    Tremor = 29,
    Sync = 32,
    ExtraFine = 33,
    FinePortamentoUp = 0xE1,
    FinePortamentoDown = 0xE2,
    GlissandoControl = 0xE3,
    VibratoControl = 0xE4,
    SetFinetune = 0xE5,
    PatternLoop = 0xE6,
    TremoloControl = 0xE7,
    NoteRetrigger = 0xE9,
    FineVolumeUp = 0xEA,
    FineVolumeDown = 0xEB,
    NoteCut = 0xEC,
    NoteDelay = 0xED,
    PatternDelay = 0xEE,
    Arpeggio = 255,
};

// The order position a tick jumps to when no effect asked for one.
constexpr int kNoJump = 4095;

// Vibrato (in period units) and tremolo (in volume units): one waveform stepped per tick.
struct Oscillator {
    int speed = 0, depth = 0, waveform = 0, noRetrigger = 0;
    int position = 0, offset = 0;
};

constexpr int kNoPortamentoTarget = 0;

struct Channel {
    int volume = 0;        // 0..64
    int panning = 0;       // 0..256
    int noteDelayCode = 0; // 256 + delay ticks, or 0
    int note = 0;          // of the row: 0 none, 1..96, 97 key off
    int effectType = 0;    // after the E and arpeggio remapping
    int effectParameter = 0;
    int volumeColumn = 0;
    int defaultVolume = 0;  // of the sample, 0..64
    int defaultPanning = 0; // of the sample, 0..255
    int noteIndex = 0;      // 0..95
    int sampleNumber = 0;   // within the instrument
    int hasSample = 0;
    int active = 0;   // a sample was started
    int finetune = 0; // -128..127
    int period = 100; // 10..10000

    int portamentoUpMemory = 0, portamentoDownMemory = 0, tonePortamentoSpeed = 0;
    int volumeSlideMemory = 0, tonePortamentoVolumeSlideMemory = 0, vibratoVolumeSlideMemory = 0;
    int finePortamentoUpMemory = 0, finePortamentoDownMemory = 0;
    int fineVolumeUpMemory = 0, fineVolumeDownMemory = 0;
    int globalVolumeSlideMemory = 0, panningSlideMemory = 0;
    int extraFineUpMemory = 0, extraFineDownMemory = 0, sampleOffsetMemory = 0;

    int glissando = 0, glissandoPeriod = 0;
    int portamentoTarget = kNoPortamentoTarget; // period

    Oscillator vibrato; // offset in period units
    Oscillator tremolo; // offset in volume units
    int arpeggioCounter = 0, arpeggioX = 0, arpeggioY = 0, arpeggioOffset = 0;

    int loopCounter = 0, loopStartRow = 0;
    int fadeoutVolume = 65536; // 0..65536
    int fadeoutSpeed = 0;
    int keyReleased = 0;

    int autoVibratoPosition = 0; // 0..255
    int autoVibratoRate = 0, autoVibratoDepth = 0, autoVibratoSweep = 0;
    int autoVibratoSweepCounter = 0, autoVibratoWaveform = 0, autoVibratoOffset = 0;

    int tremorCounter = 0, tremorOnTime = 0, tremorOffTime = 0;
    int tremorState = 1;                                                        // 1 sounding
    int retriggerInterval = 0, retriggerVolumeChange = 0, retriggerCounter = 0; // Rxy
    int noteRetriggerCounter = 0;                                               // E9y

    int index = 0;
    const Instrument* instrument = nullptr;
    const Instrument* portamentoInstrument = nullptr; // last used for a note without portamento
    NoteCell cell, previousCell;

    EnvelopeCursor volumeCursor, panningCursor;
    Voice* voice = nullptr;
};

// A module file read and walked ahead of its load, on any thread: loadPrepared then loads it
// exactly as loadFromFile would load that file.
struct PreparedModule {
    Module module;
    Refusal refusal;
    bool read = false;   // the file's bytes were read
    bool walked = false; // and loadModule took them
};
PreparedModule prepareModuleFile(const char* name);

class ModulePlayer final : public SoundSource {
public:
    ModulePlayer();
    ~ModulePlayer() override; // detaches itself, so the device never ticks a destroyed player
    ModulePlayer(const ModulePlayer&) = delete;
    ModulePlayer& operator=(const ModulePlayer&) = delete;
    int loadFromMemory(std::span<const uint8_t> data) override;
    int loadFromFile(const char* name) override;
    int loadPrepared(PreparedModule&& prepared);
    int finished() override { return 0; }
    void tick() override;
    void resetChannels() override;
    void restart() override;
    float ticksPerSecond() override { return ticksPerSecond_; }

    const Module& module() const { return module_; }

    // Playback state; public so the effects, tools and tests can read it.
    int speed = 6; // ticks per row
    int bpm = 125;
    float millisecondsPerTick = 100;
    int orderPosition = 0;
    int currentPattern = 0;
    int row = 0; // next row to read
    int tickCounter = 0;
    int patternDelay = 0;
    int jumpRequested = 0, jumpPosition = kNoJump, jumpRow = 0;
    int globalVolume = 256; // 0..256
    int frequencyMode = FrequencyAmiga;
    std::vector<Channel> channels;
    Refusal refusal; // why the last load refused its file; empty after a load that worked

    // Used by the effects (channel_effects.cpp).
    void writeVoice(Channel& c);
    void retrigger(Channel& c);
    void startSample(Channel& c, int noteIndex, int instrumentByte, const Instrument* instrument,
                     bool tonePortamento, int finetuneOverride);
    int nearestNotePeriod(const Channel& c, int period) const;
    int periodOf(int note, int finetune) const; // in the module's frequency mode

private:
    bool beginLoad();  // false, refused, while playing; otherwise no channels until started
    int startModule(); // the loaded module's tempo and channels; their count
    void readRow();
    // Starts the notes due on this tick: those without a delay (RowNotes) or those whose note
    // delay ends now (DelayedNotes); with Write::VoicesNow their voices are written at once.
    enum class Due { RowNotes, DelayedNotes };
    enum class Write { Later, VoicesNow };
    void triggerNotes(Due due, Write write = Write::Later);
    void trigger(Channel& c);
    const Pattern* pattern(int index) const;

    Module module_;
    float ticksPerSecond_ = 1000;
};

// The channel effects (channel_effects.cpp).
void tickZeroEffects(ModulePlayer& p, Channel& c);
void otherTickEffects(ModulePlayer& p, Channel& c);
void volumeColumnTickZero(ModulePlayer& p, Channel& c);
void advanceEnvelope(EnvelopeCursor& cursor, int keyReleased);
int envelopeValue(const EnvelopeCursor& cursor, int defaultValue);
void autoVibratoStep(Channel& c);
void keyOff(Channel& c);
void setPeriod(Channel& c, int period);
void setVolume(Channel& c, int volume);
void setPanning(Channel& c, int panning);
bool addSyncEvent(SyncEventList& list, const SyncEvent& event);

constexpr int kNoFinetuneOverride = -1000;

} // namespace kestrune
