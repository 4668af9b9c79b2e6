// The channel effects: row effects and volume-column commands on a row's first and other ticks,
// envelopes, auto-vibrato, vibrato, tremolo, tone portamento, retrigger and tremor.
#include <algorithm>
#include <cstdlib>

#include "music/module_player.h"
#include "music/periods.h"

namespace kestrune {
namespace {

// Memory slides take x - y when the parameter is non-zero.
void slideMemory(int& memory, int parameter) {
    if (parameter != 0) memory = (parameter >> 4) - (parameter & 15);
}

void keepIfNonZero(int& memory, int value) {
    if (value != 0) memory = value;
}

// One tick of vibrato or tremolo: the offset is the waveform (sine, ramp or square, -255..255)
// times the depth over scale, then the position moves on by the speed.
void stepOscillator(Oscillator& o, int scale) {
    int& p = o.position;
    int wave;
    if (o.waveform == 0) {
        wave = p < 0 ? -kSine32[p & 31] : kSine32[p & 31];
        p += o.speed;
        if (p > 31) p -= 63;
    } else if (o.waveform == 1) {
        wave = (p & 63) * 4;
        p = (p + o.speed) & 63;
    } else {
        wave = 128 - (p >> 5) * 255;
        p = (p + o.speed) & 63;
    }
    o.offset = wave * o.depth / scale;
}

void vibrato(Channel& c) {
    stepOscillator(c.vibrato, 32);
}

void tremolo(Channel& c) {
    stepOscillator(c.tremolo, 64);
}

void tonePortamento(ModulePlayer& player, Channel& c) {
    int& p = c.glissando ? c.glissandoPeriod : c.period;
    const int target = c.portamentoTarget;
    if (target != kNoPortamentoTarget) {
        const int speed = 4 * c.tonePortamentoSpeed;
        if (p < target)
            p = std::min(p + speed, target);
        else if (p > target)
            p = std::max(p - speed, target);
    }
    if (c.glissando) c.period = player.nearestNotePeriod(c, c.glissandoPeriod);
    setPeriod(c, c.period);
}

int arpeggioOffset(const ModulePlayer& player, const Channel& c, int semitones) {
    if (player.frequencyMode == FrequencyLinear) {
        return player.nearestNotePeriod(c, c.period) - 64 * semitones - c.period;
    }
    const int m = periodToNote(c.period);
    if (m + semitones == m) return 0;
    return player.periodOf(m + semitones, c.finetune) - c.period;
}

void retriggerStep(ModulePlayer& player, Channel& c) {
    if (++c.retriggerCounter < c.retriggerInterval) return;
    player.retrigger(c);
    c.retriggerCounter = 0;
    int v = c.volume;
    switch (c.retriggerVolumeChange) {
    case 1:
        v -= 1;
        break;
    case 2:
        v -= 2;
        break;
    case 3:
        v -= 4;
        break;
    case 4:
        v -= 8;
        break;
    case 5:
        v -= 16;
        break;
    case 6:
        v = v * 2 / 3;
        break;
    case 7:
        v /= 2;
        break;
    case 9:
        v += 1;
        break;
    case 10:
        v += 2;
        break;
    case 11:
        v += 4;
        break;
    case 12:
        v += 8;
        break;
    case 13:
        v += 16;
        break;
    case 14:
        v = v * 3 / 2;
        break;
    case 15:
        v *= 2;
        break;
    default:
        break;
    }
    setVolume(c, v);
}

void tremorStep(Channel& c) {
    if (c.tremorState == 1 && c.tremorCounter >= c.tremorOnTime) {
        c.tremorCounter = 0;
        c.tremorState = 0;
    } else if (c.tremorState == 0 && c.tremorCounter >= c.tremorOffTime) {
        c.tremorCounter = 0;
        c.tremorState = 1;
    }
    ++c.tremorCounter;
}

void volumeColumnOtherTicks(ModulePlayer& player, Channel& c) {
    const int v = c.volumeColumn, y = v & 15;
    switch (v >> 4) {
    case 0x6:
        setVolume(c, c.volume - y);
        break;
    case 0x7:
        setVolume(c, c.volume + y);
        break;
    case 0xB:
        vibrato(c);
        break;
    case 0xD:
        setPanning(c, c.panning - y);
        break;
    case 0xE:
        setPanning(c, c.panning + y);
        break;
    case 0xF:
        tonePortamento(player, c);
        break;
    default:
        break;
    }
}

} // namespace

void setPeriod(Channel& c, int period) {
    c.period = std::clamp(period, 10, 10000);
}
void setVolume(Channel& c, int volume) {
    c.volume = std::clamp(volume, 0, 64);
}
void setPanning(Channel& c, int panning) {
    c.panning = std::clamp(panning, 0, 256);
}

void keyOff(Channel& c) {
    c.keyReleased = 1;
    if (!c.instrument || !c.instrument->volumeEnvelope.enabled) c.volume = 0;
}

bool addSyncEvent(SyncEventList& list, const SyncEvent& event) {
    for (SyncEvent& e : list.entries)
        if (e.time == -1) {
            e = event;
            return true;
        }
    return false;
}

void volumeColumnTickZero(ModulePlayer&, Channel& c) {
    const int v = c.volumeColumn, y = v & 15;
    if (v >= 0x10 && v <= 0x50) {
        setVolume(c, v - 16);
        return;
    }
    switch (v >> 4) {
    case 0x8:
        setVolume(c, c.volume - y);
        break;
    case 0x9:
        setVolume(c, c.volume + y);
        break;
    case 0xA:
        keepIfNonZero(c.vibrato.speed, y);
        break;
    case 0xB:
        keepIfNonZero(c.vibrato.depth, y);
        break;
    case 0xC:
        setPanning(c, y * 16);
        break;
    case 0xF:
        keepIfNonZero(c.tonePortamentoSpeed, y * 16);
        break;
    default:
        break;
    }
}

void tickZeroEffects(ModulePlayer& p, Channel& c) {
    const int x = c.effectParameter >> 4, y = c.effectParameter & 15;
    const int param = c.effectParameter;
    switch (c.effectType) {
    case Arpeggio:
        c.arpeggioCounter = 0;
        c.arpeggioX = x;
        c.arpeggioY = y;
        c.arpeggioOffset = 0;
        break;
    case PortamentoUp:
        keepIfNonZero(c.portamentoUpMemory, param);
        break;
    case PortamentoDown:
        keepIfNonZero(c.portamentoDownMemory, param);
        break;
    case TonePortamento:
        keepIfNonZero(c.tonePortamentoSpeed, param);
        break;
    case Vibrato:
    case VibratoVolumeSlide:
        if (c.effectType == Vibrato) {
            keepIfNonZero(c.vibrato.depth, y);
            keepIfNonZero(c.vibrato.speed, x);
        } else {
            slideMemory(c.vibratoVolumeSlideMemory, param);
        }
        break;
    case TonePortamentoVolumeSlide:
        slideMemory(c.tonePortamentoVolumeSlideMemory, param);
        break;
    case Tremolo:
        keepIfNonZero(c.tremolo.depth, y);
        keepIfNonZero(c.tremolo.speed, x);
        break;
    case SetPanning:
        setPanning(c, param);
        break;
    case VolumeSlide:
        slideMemory(c.volumeSlideMemory, param);
        break;
    case PositionJump:
        p.jumpPosition = param;
        p.jumpRow = 0;
        p.jumpRequested = 1;
        break;
    case SetVolume:
        setVolume(c, param);
        break;
    case PatternBreak:
        if (p.jumpPosition == kNoJump) p.jumpPosition = p.orderPosition + 1;
        p.jumpRequested = 1;
        p.jumpRow = 10 * x + y;
        break;
    case FinePortamentoUp:
        keepIfNonZero(c.finePortamentoUpMemory, y);
        setPeriod(c, c.period - 4 * c.finePortamentoUpMemory);
        break;
    case FinePortamentoDown:
        keepIfNonZero(c.finePortamentoDownMemory, y);
        setPeriod(c, c.period + 4 * c.finePortamentoDownMemory);
        break;
    case GlissandoControl:
        c.glissandoPeriod = c.period;
        c.glissando = y & 1;
        break;
    case VibratoControl:
        c.vibrato.waveform = y & 3;
        c.vibrato.noRetrigger = y >> 2;
        break;
    case PatternLoop:
        if (y == 0) {
            c.loopStartRow = p.row - 1; // the row being played; reading it advanced row
        } else {
            c.loopCounter = c.loopCounter != 0 ? c.loopCounter - 1 : y;
            if (c.loopCounter != 0) p.row = c.loopStartRow;
        }
        break;
    case TremoloControl:
        c.tremolo.waveform = y & 3;
        c.tremolo.noRetrigger = y >> 2;
        break;
    case NoteRetrigger:
        c.noteRetriggerCounter = y;
        break;
    case FineVolumeUp:
        keepIfNonZero(c.fineVolumeUpMemory, y);
        setVolume(c, c.volume + c.fineVolumeUpMemory);
        break;
    case FineVolumeDown:
        keepIfNonZero(c.fineVolumeDownMemory, y);
        setVolume(c, c.volume - c.fineVolumeDownMemory);
        break;
    case NoteCut:
        if (y == p.tickCounter) c.volume = 0;
        break;
    case PatternDelay:
        p.patternDelay = y;
        break;
    case SpeedOrTempo:
        if (param < 32)
            p.speed = param;
        else
            p.bpm = param;
        break;
    case GlobalVolume:
        p.globalVolume = std::min(4 * param, 256);
        break; // G above 40 is full
    case GlobalVolumeSlide:
        slideMemory(c.globalVolumeSlideMemory, param);
        break;
    case EnvelopePosition:
        c.volumeCursor.position = c.panningCursor.position = param;
        break;
    case PanningSlide:
        slideMemory(c.panningSlideMemory, param);
        break;
    case MultiRetrigger:
        keepIfNonZero(c.retriggerVolumeChange, x);
        keepIfNonZero(c.retriggerInterval, y);
        retriggerStep(p, c);
        break;
    case Tremor:
        if (param > 15) c.tremorOnTime = x + 1;
        if (y != 0) c.tremorOffTime = y + 1;
        break;
    case Sync:
        addSyncEvent(p.syncEvents, SyncEvent{p.syncTime, c.index, param, 0});
        break;
    case ExtraFine:
        if (x == 1) {
            keepIfNonZero(c.extraFineUpMemory, y);
            setPeriod(c, c.period - c.extraFineUpMemory);
        } else if (x == 2) {
            keepIfNonZero(c.extraFineDownMemory, y);
            setPeriod(c, c.period + c.extraFineDownMemory);
        }
        break;
    default:
        break;
    }
    p.writeVoice(c);
}

void otherTickEffects(ModulePlayer& p, Channel& c) {
    c.arpeggioOffset = 0;
    volumeColumnOtherTicks(p, c);
    const int y = c.effectParameter & 15;
    switch (c.effectType) {
    case Arpeggio: {
        c.arpeggioCounter %= 3;
        const int semitones = c.arpeggioCounter == 0   ? c.arpeggioY
                              : c.arpeggioCounter == 1 ? c.arpeggioX
                                                       : 0;
        // Counter 2 plays the period as it is; on 0 and 1 a linear period snaps to the note
        // grid even when the count is 0, so an arpeggio after a slide is in tune.
        c.arpeggioOffset = c.arpeggioCounter == 2 ? 0 : arpeggioOffset(p, c, semitones);
        ++c.arpeggioCounter;
        break;
    }
    case PortamentoUp:
        setPeriod(c, c.period - 4 * c.portamentoUpMemory);
        break;
    case PortamentoDown:
        setPeriod(c, c.period + 4 * c.portamentoDownMemory);
        break;
    case TonePortamento:
        tonePortamento(p, c);
        break;
    case Vibrato:
        vibrato(c);
        break;
    case TonePortamentoVolumeSlide:
        tonePortamento(p, c);
        setVolume(c, c.volume + c.tonePortamentoVolumeSlideMemory);
        break;
    case VibratoVolumeSlide:
        vibrato(c);
        setVolume(c, c.volume + c.vibratoVolumeSlideMemory);
        break;
    case Tremolo:
        tremolo(c);
        break;
    case VolumeSlide:
        setVolume(c, c.volume + c.volumeSlideMemory);
        break;
    case NoteRetrigger:
        if (--c.noteRetriggerCounter == 0) {
            c.noteRetriggerCounter = y;
            p.retrigger(c);
        }
        break;
    case NoteCut:
        if (y == p.tickCounter) c.volume = 0;
        break;
    case NoteDelay:
        if (y == p.tickCounter && c.note == 0 && y != 0) p.retrigger(c);
        break;
    case GlobalVolumeSlide:
        p.globalVolume = std::clamp(p.globalVolume + 4 * c.globalVolumeSlideMemory, 0, 256);
        break;
    case KeyOff:
        if (p.tickCounter == c.effectParameter) keyOff(c);
        break;
    case PanningSlide:
        setPanning(c, c.panning + c.panningSlideMemory);
        break;
    case MultiRetrigger:
        retriggerStep(p, c);
        break;
    case Tremor:
        tremorStep(c);
        break;
    default:
        break;
    }
    p.writeVoice(c);
}

void advanceEnvelope(EnvelopeCursor& cursor, int keyReleased) {
    const InstrumentEnvelope* env = cursor.envelope;
    if (!env || !env->enabled) {
        cursor.value = -1;
        return;
    }
    if (env->sustain && !keyReleased && cursor.position == env->points[env->sustainPoint].x) {
        cursor.held = 1;
        cursor.value = env->points[env->sustainPoint].y;
    }
    if (cursor.held) {
        cursor.position = env->points[env->sustainPoint].x;
        cursor.value = env->points[env->sustainPoint].y;
        if (!keyReleased) return;
        cursor.held = 0;
    }
    ++cursor.position;
    if (env->loop && cursor.position == env->points[env->loopEndPoint].x)
        cursor.position = env->points[env->loopStartPoint].x;
}

int envelopeValue(const EnvelopeCursor& cursor, int defaultValue) {
    const InstrumentEnvelope* env = cursor.envelope;
    if (!env || !env->enabled) return defaultValue;
    const int count = env->pointCount;
    int at = 0;
    for (int i = 0; i < count; ++i)
        if (env->points[i].x <= cursor.position) at = i;
    const EnvelopePoint a = env->points[at];
    int value = a.y;
    if (at + 1 < count) {
        const EnvelopePoint b = env->points[at + 1];
        // Points out of order (a file's fault) hold the earlier value instead of dividing by 0.
        if (b.x > a.x && cursor.position >= a.x)
            value = a.y + (b.y - a.y) * (cursor.position - a.x) / (b.x - a.x);
    }
    return std::clamp(value, 0, 64);
}

void autoVibratoStep(Channel& c) {
    const int p = c.autoVibratoPosition & 255;
    int v;
    switch (c.autoVibratoWaveform) {
    case 1:
        v = p >= 128 ? 64 : -64;
        break;
    case 2:
        v = ((p / 2 + 64) % 128) - 64;
        break;
    case 3:
        v = ((-64 - p / 2) & 127) - 64;
        break;
    default:
        v = autoVibratoSine(p);
        break;
    }
    if (c.autoVibratoSweep != 0) {
        v = v * c.autoVibratoSweepCounter / c.autoVibratoSweep;
        if (c.autoVibratoSweepCounter < c.autoVibratoSweep) ++c.autoVibratoSweepCounter;
    }
    c.autoVibratoOffset = v * c.autoVibratoDepth / 64;
    c.autoVibratoPosition = (p + c.autoVibratoRate) & 255;
}

} // namespace kestrune
