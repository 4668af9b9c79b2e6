// The sequencer: the song clock, reading rows, triggering notes, starting samples and writing
// each channel's voice.
#include "music/module_player.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "music/periods.h"
#include "music/wave_out_device.h"

namespace kestrune {
namespace {

bool startsTonePortamento(const NoteCell& cell) {
    const int type = cell.effect >> 8;
    return type == TonePortamento || type == TonePortamentoVolumeSlide || cell.volume >= 0xF0;
}

} // namespace

constexpr long kMaxModuleFileSize = 256l << 20;

ModulePlayer::ModulePlayer() {
    periodToNote(0); // builds the period-to-note table once, outside the output thread
}

ModulePlayer::~ModulePlayer() {
    if (attached && device) device->detach(this);
}

PreparedModule prepareModuleFile(const char* name) {
    PreparedModule prepared;
    std::FILE* f = std::fopen(name, "rb");
    if (!f) {
        refuse(&prepared.refusal, "the file cannot be opened");
        return prepared;
    }
    std::vector<uint8_t> bytes;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long size = std::ftell(f);
        // Larger files are no modules this player could hold; refused like a failed allocation.
        if (size > 0 && size <= kMaxModuleFileSize && std::fseek(f, 0, SEEK_SET) == 0) {
            bytes.resize(static_cast<size_t>(size));
            if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
        }
    }
    std::fclose(f);
    if (bytes.empty()) {
        refuse(&prepared.refusal, "the file is empty, unreadable or larger than a module can be");
        return prepared;
    }
    prepared.read = true;
    prepared.walked = loadModule(bytes, prepared.module, &prepared.refusal) != 0;
    return prepared;
}

int ModulePlayer::loadFromFile(const char* name) {
    return loadPrepared(prepareModuleFile(name));
}

int ModulePlayer::loadPrepared(PreparedModule&& prepared) {
    if (!prepared.read) {
        refusal = prepared.refusal;
        return 0;
    }
    if (!beginLoad()) return 0;
    module_ = std::move(prepared.module);
    refusal = prepared.refusal;
    return prepared.walked ? startModule() : 0;
}

bool ModulePlayer::beginLoad() {
    refusal = {};
    if (attached) { // the output thread is playing the current module
        refuse(&refusal, "the player is playing");
        return false;
    }
    // A module that cannot be walked leaves the player without channels, so it claims no voices
    // and plays nothing.
    channels.clear();
    voicesNeeded = 0;
    return true;
}

int ModulePlayer::startModule() {
    speed = module_.speed;
    bpm = module_.bpm;
    frequencyMode = module_.frequencyMode;
    channels.resize(static_cast<size_t>(module_.channelCount));
    for (int i = 0; i < module_.channelCount; ++i) channels[static_cast<size_t>(i)].index = i;
    voicesNeeded = module_.channelCount;
    return module_.channelCount;
}

int ModulePlayer::loadFromMemory(std::span<const uint8_t> data) {
    if (!beginLoad()) return 0;
    return loadModule(data, module_, &refusal) != 0 ? startModule() : 0;
}

const Pattern* ModulePlayer::pattern(int index) const {
    if (index < 0 || index >= static_cast<int>(module_.patterns.size())) return nullptr;
    return &module_.patterns[static_cast<size_t>(index)];
}

int ModulePlayer::periodOf(int note, int finetune) const {
    return notePeriod(frequencyMode, note, finetune);
}

int ModulePlayer::nearestNotePeriod(const Channel& c, int period) const {
    if (frequencyMode == FrequencyLinear) {
        const int b = linearPeriod(0, c.finetune);
        const int step = -64;
        return b + step * ((period + step / 2 - b) / step);
    }
    return amigaPeriod(periodToNote(period), c.finetune);
}

void ModulePlayer::resetChannels() {
    for (size_t i = 0; i < channels.size(); ++i) {
        Channel& c = channels[i];
        Channel fresh;
        fresh.volume = c.volume;
        fresh.panning = c.panning;
        fresh.finetune = c.finetune;
        fresh.fadeoutVolume = c.fadeoutVolume;
        fresh.index = c.index;
        fresh.voice = i < kMaxSourceVoices ? voices[i] : nullptr;
        c = fresh;
    }
}

void ModulePlayer::restart() {
    orderPosition = 0;
    tickCounter = 0;
    row = 0;
    resetChannels();
}

void ModulePlayer::tick() {
    ticksPerSecond_ = static_cast<float>(bpm) * 0.4f;
    millisecondsPerTick = 1000.0f / ticksPerSecond_;
    for (Channel& c : channels) {
        c.autoVibratoOffset = 0;
        if (!c.active) continue;
        advanceEnvelope(c.volumeCursor, c.keyReleased);
        advanceEnvelope(c.panningCursor, c.keyReleased);
        autoVibratoStep(c);
        if (c.keyReleased) c.fadeoutVolume = std::max(c.fadeoutVolume - 2 * c.fadeoutSpeed, 0);
    }
    jumpRequested = 0;
    jumpPosition = kNoJump;
    jumpRow = 0;
    currentPattern = module_.order[orderPosition];

    if (++tickCounter == speed) {
        tickCounter = 0;
        if (patternDelay != 0) {
            --patternDelay;
            // No effects run on this tick, so the notes restarted here have their voices written
            // at once: left alone they would sound a whole tick at the start volume of 256 (more
            // than three times full volume) and the old pitch.
            triggerNotes(Due::DelayedNotes, Write::VoicesNow);
        } else {
            readRow();
            triggerNotes(Due::RowNotes);
            triggerNotes(Due::DelayedNotes);
            for (Channel& c : channels) tickZeroEffects(*this, c);
        }
    } else {
        triggerNotes(Due::DelayedNotes);
        for (Channel& c : channels) otherTickEffects(*this, c);
    }

    const int songLength = std::max(module_.songLength, 1);
    if (jumpRequested) {
        row = jumpRow;
        orderPosition = jumpPosition;
        if (orderPosition >= songLength) orderPosition = module_.restartPosition;
    } else {
        const Pattern* p = pattern(currentPattern);
        if (row >= (p ? p->rowCount : 64)) {
            if (++orderPosition >= songLength) orderPosition = module_.restartPosition;
            row = 0;
            currentPattern = module_.order[orderPosition];
        }
    }
}

void ModulePlayer::readRow() {
    if (orderPosition >= module_.songLength) orderPosition = module_.restartPosition;
    currentPattern = module_.order[orderPosition];
    NoteCell cells[kMaxChannels];
    if (const Pattern* p = pattern(currentPattern))
        unpackRow(*p, row, cells);
    else
        for (NoteCell& cell : cells) cell = NoteCell{};
    for (Channel& c : channels) {
        c.cell = cells[c.index];
        c.note = c.cell.note;
        c.volumeColumn = c.cell.volume;
        c.effectType = c.cell.effect >> 8;
        c.effectParameter = c.cell.effect & 0xFF;
        if (c.effectType == Extended) {
            c.effectType = 0xE0 + (c.effectParameter >> 4);
            c.effectParameter &= 0x0F;
        } else if (c.effectType == 0 && c.effectParameter != 0) {
            c.effectType = Arpeggio;
        }
        c.noteDelayCode = c.effectType == NoteDelay ? 256 + c.effectParameter : 0;
    }
    ++row;
}

void ModulePlayer::triggerNotes(Due due, Write write) {
    const int code = (due == Due::DelayedNotes ? 256 : 0) ^ tickCounter;
    for (Channel& c : channels)
        if (code == c.noteDelayCode) {
            trigger(c);
            if (write == Write::VoicesNow) writeVoice(c);
        }
}

void ModulePlayer::trigger(Channel& c) {
    int n = c.note;
    const int i = c.cell.instrument;
    const int previousType = c.previousCell.effect >> 8;
    const bool tonePortamento = startsTonePortamento(c.cell);

    if ((previousType == Vibrato || previousType == VibratoVolumeSlide) && c.effectType != Vibrato &&
        c.effectType != VibratoVolumeSlide)
        c.vibrato.offset = 0;
    c.arpeggioOffset = 0;
    if (c.glissando && tonePortamento && !startsTonePortamento(c.previousCell))
        c.glissandoPeriod = c.period;
    if (c.effectType == KeyOff && c.effectParameter == 0) n = kNoteKeyOff;
    if (n == kNoteKeyOff) keyOff(c);

    const bool isNote = n >= 1 && n <= 96; // 98..127 (7-bit notes past key off) are no notes
    if (i != 0) {
        c.sampleNumber = 0;
        c.tremorState = 1;
        c.instrument = &instrumentNumbered(module_, i);
        if (!c.instrument->empty) {
            c.sampleNumber = isNote ? c.instrument->sampleMap[n - 1] : 0;
            if (!((n == 0 || n == kNoteKeyOff) && c.hasSample)) {
                const Sample& s = sampleNumbered(*c.instrument, c.sampleNumber);
                c.defaultVolume = s.volume;
                c.defaultPanning = s.panning;
                c.hasSample = 1;
            }
        }
        if (c.hasSample && n != kNoteKeyOff) {
            setVolume(c, c.defaultVolume);
            setPanning(c, c.defaultPanning);
            c.volumeCursor.position = c.panningCursor.position = 0;
            c.fadeoutVolume = 65536;
        }
        if (!c.hasSample) {
            c.volume = 0;
            setPanning(c, c.defaultPanning);
        }
    }

    if (isNote) {
        c.noteIndex = n - 1;
        const int relative =
            c.instrument ? sampleForNote(*c.instrument, c.noteIndex).relativeNote : 0;
        if (relative + c.noteIndex > 119) {
            c.note = 0;
            c.noteIndex = 0;
        } else {
            const int override =
                c.effectType == SetFinetune ? (c.effectParameter - 8) * 16 : kNoFinetuneOverride;
            const int oldPeriod = c.period;
            startSample(c, c.noteIndex, i, c.instrument, tonePortamento, override);
            if (tonePortamento) {
                c.portamentoTarget = c.period;
                c.period = oldPeriod;
            } else {
                if (c.effectType == SampleOffset && c.effectParameter != 0)
                    c.sampleOffsetMemory = c.effectParameter * 256;
                if (c.effectType == SampleOffset && c.voice) {
                    c.voice->position = c.sampleOffsetMemory;
                    c.voice->positionFraction = 0;
                    c.voice->direction = 1;
                }
            }
        }
    }
    if (!tonePortamento) c.portamentoInstrument = c.instrument;
    if (i != 0 && n != kNoteKeyOff) {
        c.volumeCursor.position = c.panningCursor.position = 0;
        c.fadeoutVolume = 65536;
        c.autoVibratoSweepCounter = 0;
        c.vibrato.position = c.tremolo.position = 0;
        c.tremolo.offset = 0;
        c.keyReleased = 0;
    }
    volumeColumnTickZero(*this, c);
    c.previousCell = c.cell;
}

void ModulePlayer::startSample(Channel& c, int k, int instrumentByte, const Instrument* ins,
                               bool tonePortamento, int finetuneOverride) {
    if (!ins || ins->empty) {
        c.active = 0;
        return;
    }
    const Instrument* used = ins;
    c.finetune = sampleForNote(*ins, k).finetune;
    if (tonePortamento) {
        if (!c.portamentoInstrument) return;
        used = c.portamentoInstrument;
        c.finetune = sampleNumbered(*used, c.sampleNumber).finetune;
        c.sampleNumber = k >= 0 && k < 96 ? used->sampleMap[k] : kSamplesPerInstrument;
    } else {
        c.sampleNumber = k >= 0 && k < 96 ? ins->sampleMap[k] : kSamplesPerInstrument;
    }
    if (finetuneOverride != kNoFinetuneOverride) c.finetune = finetuneOverride;
    const Sample& s = sampleNumbered(*used, c.sampleNumber);
    setPeriod(c, periodOf(k + s.relativeNote, c.finetune));
    if (tonePortamento) return;

    Voice* v = c.voice;
    if (device && device->mixerRamps() && c.active && v && v->sample && c.volume != 0) {
        // Fade the old note out in a spare voice instead of cutting it.
        if (Voice* spare = device->firstFreeVoice()) {
            writeVoice(c);
            *spare = *v;
            spare->state = VoiceReleasing;
            spare->volume = 0;
        }
    }
    c.active = 0;
    if (!s.empty && v) {
        v->sample = &s;
        v->volume = 256;
        v->currentLeftVolume = v->currentRightVolume = 0;
        v->position = v->positionFraction = 0;
        v->direction = 1;
        c.hasSample = 1;
        c.tremorCounter = 0;
        c.tremorState = 1;
        if (instrumentByte != 0) {
            c.autoVibratoRate = ins->vibratoRate;
            c.autoVibratoDepth = ins->vibratoDepth;
            c.autoVibratoSweep = ins->vibratoSweep;
            c.autoVibratoWaveform = ins->vibratoType;
            c.autoVibratoPosition = c.autoVibratoSweepCounter = 0;
            c.volumeCursor = EnvelopeCursor{0, &ins->volumeEnvelope, 0, -1};
            c.panningCursor = EnvelopeCursor{0, &ins->panningEnvelope, 0, -1};
            c.fadeoutSpeed = ins->fadeout;
        }
        if (!c.vibrato.noRetrigger) c.vibrato.position = 0;
        if (!c.tremolo.noRetrigger) c.tremolo.position = 0;
        c.active = 1;
    }
    c.keyReleased = 0;
}

void ModulePlayer::retrigger(Channel& c) {
    if (!c.instrument || c.noteIndex == 0) return;
    c.tremorState = 1;
    startSample(c, c.noteIndex, 0, c.instrument, false, kNoFinetuneOverride);
    c.volumeCursor.position = c.panningCursor.position = 0;
    c.autoVibratoPosition = c.autoVibratoSweepCounter = 0;
    c.vibrato.position = c.tremolo.position = 0;
    c.fadeoutVolume = 65536;
}

void ModulePlayer::writeVoice(Channel& c) {
    Voice* v = c.voice;
    if (!v) return;
    int period = c.period + c.vibrato.offset + c.arpeggioOffset + c.autoVibratoOffset;
    if (c.arpeggioOffset != 0) period -= c.vibrato.offset;
    v->frequency = periodFrequency(frequencyMode, period);
    int volume = std::clamp(c.volume + c.tremolo.offset, 0, 64);
    volume = volume * envelopeValue(c.volumeCursor, 64) * 4 / 64;
    volume = volume * globalVolume / 256;
    volume = volume * (c.fadeoutVolume / 256) / 256;
    volume = volume * c.tremorState * masterVolume / 32;
    v->volume = std::clamp(volume, 0, 255);
    const int envelopePanning = envelopeValue(c.panningCursor, 32);
    v->panning = c.panning + (envelopePanning - 32) * (128 - std::abs(c.panning - 128)) / 32;
}

} // namespace kestrune
