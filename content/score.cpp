// Writing a tracker score: channels, effect numbers, chords, and the drum, bass, pad, arpeggio
// and melody parts that the soundtrack's patterns are made of.
#include "content/score.h"

#include <stdexcept>

#include "content/instruments.h"

namespace kestrune {

uint8_t inBand(int pitchClass, int low) {
    int n = low + ((pitchClass - (low - 1)) % 12 + 12) % 12;
    return static_cast<uint8_t>(n);
}

XmPattern& Score::pattern(const std::string& name) {
    auto it = names_.find(name);
    if (it != names_.end()) return module_.patterns[it->second];
    names_[name] = module_.patterns.size();
    module_.patterns.emplace_back(64, kChannels);
    return module_.patterns.back();
}

uint8_t Score::index(const std::string& name) const {
    return static_cast<uint8_t>(names_.at(name));
}

void put(XmPattern& p, int row, int ch, uint8_t n, uint8_t instrument, uint8_t volume) {
    XmCell& c = p.at(row, ch);
    c.note = n;
    c.instrument = instrument;
    if (volume) c.volume = volume;
}

void effect(XmPattern& p, int row, int ch, uint8_t type, uint8_t param) {
    XmCell& c = p.at(row, ch);
    if (c.effect || c.param) throw std::logic_error("two effects in one cell");
    c.effect = type;
    c.param = param;
}

void volumeColumn(XmPattern& p, int row, int ch, uint8_t v) {
    p.at(row, ch).volume = v;
}

void drums(XmPattern& p, Beat beat, int fromBar, int toBar) {
    for (int bar = fromBar; bar < toBar; ++bar) {
        int r0 = bar * 16;
        switch (beat) {
        case Beat::None:
            break;
        case Beat::Pulse:
            for (int r = 0; r < 16; r += 4) put(p, r0 + r, ChKick, note(4, 0), InstKick, vol(40));
            break;
        case Beat::Four:
            for (int r = 0; r < 16; r += 4) put(p, r0 + r, ChKick, note(4, 0), InstKick);
            put(p, r0 + 4, ChSnare, note(4, 0), InstSnare, vol(52));
            put(p, r0 + 12, ChSnare, note(4, 0), InstSnare, vol(56));
            if (bar % 2) put(p, r0 + 14, ChKick, note(4, 0), InstKick, vol(36));
            break;
        case Beat::Half:
            put(p, r0, ChKick, note(4, 0), InstKick);
            put(p, r0 + 10, ChKick, note(4, 0), InstKick, vol(44));
            put(p, r0 + 8, ChSnare, note(4, 0), InstSnare, vol(60));
            // A ghost note pushed late by a note delay.
            put(p, r0 + 14, ChSnare, note(4, 0), InstSnare, vol(18));
            effect(p, r0 + 14, ChSnare, FxExtended, 0xD3);
            break;
        case Beat::Build:
            for (int r = 0; r < 16; r += 4) put(p, r0 + r, ChKick, note(4, 0), InstKick);
            for (int r = 0; r < 16; r += (bar < 2 ? 4 : 2))
                put(p, r0 + r, ChSnare, note(4, 0), InstSnare, vol(20 + bar * 8 + r));
            break;
        }
    }
}

void hats(XmPattern& p, Hats style, int fromBar, int toBar) {
    for (int bar = fromBar; bar < toBar; ++bar)
        for (int r = 0; r < 16; r += 2) {
            int row = bar * 16 + r;
            switch (style) {
            case Hats::None:
                break;
            case Hats::Quarter:
                if (r % 4 == 2) put(p, row, ChHat, note(4, 0), InstHat, vol(28));
                break;
            case Hats::Eighths:
            case Hats::Busy:
                if (style == Hats::Busy && r == 14) {
                    // A closed hat retriggered every three ticks, a touch quieter each time.
                    put(p, row, ChHat, note(4, 0), InstHat, vol(34));
                    effect(p, row, ChHat, FxMultiRetrigger, 0x83);
                } else if (r % 4 == 2) {
                    // An open hat choked after three ticks.
                    put(p, row, ChHat, note(5, 0), InstHat, vol(40));
                    effect(p, row, ChHat, FxExtended, 0xC3);
                } else {
                    put(p, row, ChHat, note(4, 0), InstHat, vol(r % 8 ? 30 : 38));
                }
                break;
            }
        }
}

void snareRoll(XmPattern& p, int bar) {
    const uint8_t rates[4] = {0x93, 0x93, 0x92, 0x91};
    for (int beat = 0; beat < 4; ++beat) {
        int row = bar * 16 + beat * 4;
        put(p, row, ChSnare, note(4, 0), InstSnare, vol(24 + beat * 10));
        effect(p, row, ChSnare, FxExtended, rates[beat]);
    }
}

void bass(XmPattern& p, const Progression& chords, Bass style) {
    for (int bar = 0; bar < 4; ++bar) {
        const Chord& c = chords[bar % chords.size()];
        uint8_t low = inBand(c.root, note(2, 4)); // E-2 .. D#-3
        int r0 = bar * 16;
        switch (style) {
        case Bass::None:
            break;
        case Bass::Roots:
            put(p, r0, ChBass, low, InstBass);
            put(p, r0 + 6, ChBass, low, InstBass, vol(40));
            put(p, r0 + 10, ChBass, low, InstBass, vol(48));
            break;
        case Bass::Octaves:
            for (int r = 0; r < 16; r += 2) {
                bool up = (r / 2) % 2;
                put(p, r0 + r, ChBass, up ? static_cast<uint8_t>(low + 12) : low, InstBass,
                    vol(up ? 40 : 56));
            }
            if (bar == 1) effect(p, r0 + 14, ChBass, FxExtended, 0x23); // a fine slide down
            if (bar == 3) effect(p, r0 + 14, ChBass, FxExtended, 0x18); // and up into the next bar
            break;
        case Bass::Glide:
            if (bar == 0) {
                put(p, r0, ChBass, low, InstBass);
            } else {
                // Glide to the new root while the note keeps sounding.
                put(p, r0, ChBass, low, 0);
                effect(p, r0, ChBass, FxTonePorta, 0x08);
                for (int r = 1; r < 6; ++r) effect(p, r0 + r, ChBass, FxTonePorta, 0);
            }
            effect(p, r0 + 12, ChBass, FxTonePortaVolSlide, 0x01);
            break;
        }
    }
}

void pads(XmPattern& p, const Progression& chords, int volume, bool tremolo) {
    for (int bar = 0; bar < 4; ++bar) {
        const Chord& c = chords[bar % chords.size()];
        int r0 = bar * 16;
        put(p, r0, ChPadA, inBand(c.root, note(4, 2)), InstPad, vol(volume));
        put(p, r0, ChPadB, inBand(c.third(), note(4, 2)), InstPad, vol(volume));
        put(p, r0, ChPadC, inBand(c.fifth(), note(4, 2)), InstPad, vol(volume));
        if (tremolo) {
            effect(p, r0 + 1, ChPadA, FxTremolo, 0x46);
            for (int r = 2; r < 16; ++r) effect(p, r0 + r, ChPadA, FxTremolo, 0);
        }
    }
}

void arpeggios(XmPattern& p, const Progression& chords, int volume, bool panning) {
    for (int bar = 0; bar < 4; ++bar) {
        const Chord& c = chords[bar % chords.size()];
        uint8_t shape = c.minor ? 0x37 : 0x47;
        for (int r = 0; r < 16; r += 4) {
            int row = bar * 16 + r;
            put(p, row, ChArp, inBand(c.root, note(5, 0)), InstPluck, vol(volume));
            effect(p, row, ChArp, FxArpeggio, shape);
            if (panning) {
                effect(p, row + 1, ChArp, FxPanningSlide, r % 8 ? 0x40 : 0x04);
                effect(p, row + 2, ChArp, FxPanningSlide, 0);
            } else {
                effect(p, row + 1, ChArp, FxArpeggio, shape);
            }
        }
    }
}

void melody(XmPattern& p, const std::vector<std::string>& tokens, uint8_t instrument, int ch,
            int volume) {
    static const std::map<char, int> semitones = {{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                                  {'G', 7}, {'A', 9}, {'B', 11}};
    int held = 0;
    for (size_t i = 0; i < tokens.size() && i < 32; ++i) {
        const std::string& t = tokens[i];
        int row = static_cast<int>(i) * 2;
        if (t == "-") {
            ++held;
            // Long notes get vibrato; the first parameter is remembered by the later rows.
            if (held == 1)
                effect(p, row, ch, FxVibrato, 0x43);
            else
                effect(p, row, ch, FxVibrato, 0);
            effect(p, row + 1, ch, FxVibrato, 0);
            continue;
        }
        held = 0;
        if (t == ".") {
            put(p, row, ch, kKeyOff, 0);
            continue;
        }
        if (t == "_") continue;
        bool glide = t[0] == '~';
        std::string n = glide ? t.substr(1) : t;
        int semitone = semitones.at(n[0]);
        size_t at = 1;
        if (n[at] == '#') {
            ++semitone;
            ++at;
        }
        int octave = n[at] - '0';
        put(p, row, ch, note(octave, semitone), glide ? 0 : instrument, vol(volume));
        if (glide) effect(p, row, ch, FxTonePorta, 0x20);
    }
}

std::vector<std::string> split(const std::string& s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        size_t j = i;
        while (j < s.size() && s[j] != ' ') ++j;
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

void riser(XmPattern& p, int bar) {
    int row = bar * 16;
    put(p, row, ChFx, note(4, 0), InstSweep, vol(20));
    for (int r = 1; r < 16; ++r) {
        effect(p, row + r, ChFx, FxPortaUp, r == 1 ? 0x06 : 0);
        if (r % 4 == 0) volumeColumn(p, row + r, ChFx, 0x92); // fine volume up
    }
}

void syncMark(XmPattern& p, int part) {
    effect(p, 0, ChFx, FxSync, static_cast<uint8_t>(part));
}

} // namespace kestrune
