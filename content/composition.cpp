// The show's soundtrack: an original piece in A minor, one section per part of the show.
#include "content/composition.h"

#include <string>
#include <vector>

#include "content/instruments.h"
#include "content/score.h"

namespace kestrune {

namespace {

const Chord kAm{9, true}, kF{5, false}, kC{0, false}, kG{7, false}, kEm{4, true}, kDm{2, true},
    kE{4, false};

const Progression kVerse{kAm, kF, kC, kG};
const Progression kChorus{kF, kG, kEm, kAm};
const Progression kBridge{kDm, kAm, kE, kAm};
const Progression kTurn{kF, kDm, kG, kE};

const std::vector<std::string> kThemeA = split("E5 - - D5 C5 - D5 E5  F5 - E5 - C5 - A4 -  "
                                               "G4 - C5 - E5 - G5 -  F5 - E5 D5 - - B4 -");
const std::vector<std::string> kThemeA2 = split("E5 - - D5 C5 - A4 -  F5 - A5 - G5 F5 E5 -  "
                                                "E5 - D5 - C5 - E5 -  D5 - - - - - . _");
const std::vector<std::string> kThemeB = split("A5 - - G5 F5 - C5 -  B4 - D5 - G5 - F5 E5  "
                                               "E5 - - - B4 - G4 -  A4 - C5 - E5 - ~A5 -");
const std::vector<std::string> kThemeB2 = split("C6 - A5 - F5 - A5 -  B5 - G5 - D5 - B4 -  "
                                                "G5 - E5 - B4 - E5 -  A5 - - - - - . _");
const std::vector<std::string> kBellLine = split("E6 _ _ _ C6 _ _ _  A5 _ _ _ C6 _ _ _  "
                                                 "G5 _ _ _ E6 _ _ _  D6 _ _ _ B5 _ _ _");
const std::vector<std::string> kStarLine = split("A5 - E6 - C6 - ~D6 -  C6 - A5 - ~G5 - - -  "
                                                 "B5 - G5 - E5 - ~G5 -  ~A5 - - - - - . _");

} // namespace

Soundtrack composeSoundtrack() {
    Soundtrack track;
    XmModule& m = track.module;
    m.name = "Kestrune 99";
    m.channels = kChannels;
    m.linearFrequencies = true;
    m.tempo = 6;
    m.bpm = 125;
    m.instruments = makeInstruments();
    Score s(m);

    // Part 0: the pads alone, then a pulse, then the beat arrives with a roll and a riser.
    {
        XmPattern& p = s.pattern("intro1");
        effect(p, 0, ChKick, FxSpeed, 6);
        effect(p, 0, ChSnare, FxSpeed, 125);
        effect(p, 0, ChHat, FxGlobalVolume, 0x40);
        syncMark(p, 0);
        pads(p, kVerse, 40);
        hats(p, Hats::Quarter, 2, 4);
        melody(p, kBellLine, InstBell, ChLead, 30);
        volumeColumn(p, 0, ChLead, 0xC4); // the bell starts on the left
        volumeColumn(p, 32, ChLead, 0xCC);
    }
    {
        XmPattern& p = s.pattern("intro2");
        pads(p, kVerse, 44);
        drums(p, Beat::Pulse);
        hats(p, Hats::Quarter);
        bass(p, kVerse, Bass::Roots);
        melody(p, kBellLine, InstBell, ChLead, 26);
        volumeColumn(p, 8, ChLead, 0xE2); // pan right slowly
        volumeColumn(p, 1, ChPadA, 0x72); // the root swells in
    }
    {
        XmPattern& p = s.pattern("intro3");
        pads(p, kVerse, 48);
        drums(p, Beat::Four, 0, 3);
        snareRoll(p, 3);
        put(p, 48, ChKick, note(4, 0), InstKick);
        hats(p, Hats::Eighths, 0, 3);
        bass(p, kVerse, Bass::Roots);
        arpeggios(p, kVerse, 24);
        riser(p, 3);
    }
    // Part 1: the groove, with arpeggios; a pattern-loop fill closes the section.
    {
        XmPattern& p = s.pattern("groove1");
        syncMark(p, 1);
        drums(p, Beat::Four);
        hats(p, Hats::Eighths);
        bass(p, kVerse, Bass::Octaves);
        pads(p, kVerse, 36);
        arpeggios(p, kVerse, 30);
    }
    {
        XmPattern& p = s.pattern("groove2");
        drums(p, Beat::Four);
        hats(p, Hats::Busy);
        bass(p, kVerse, Bass::Octaves);
        pads(p, kVerse, 36);
        arpeggios(p, kVerse, 30, true);
        // A sample-offset stab of the snare on the last offbeat.
        put(p, 62, ChSnare, note(4, 0), InstSnare, vol(40));
        effect(p, 62, ChSnare, FxSampleOffset, 0x08);
    }
    {
        XmPattern& p = s.pattern("groove3");
        drums(p, Beat::Four, 0, 3);
        hats(p, Hats::Eighths);
        bass(p, kVerse, Bass::Octaves);
        pads(p, kVerse, 36);
        arpeggios(p, kVerse, 30);
        // Rows 56..59 play three times: a stutter before the melody enters.
        effect(p, 56, ChFx, FxExtended, 0x60);
        put(p, 56, ChSnare, note(4, 0), InstSnare, vol(40));
        put(p, 58, ChSnare, note(4, 0), InstSnare, vol(50));
        effect(p, 59, ChFx, FxExtended, 0x62);
        put(p, 60, ChSnare, note(4, 0), InstSnare, vol(60));
        effect(p, 60, ChSnare, FxExtended, 0x92);
        // The loop adds 8 rows; the song's timing is measured, not assumed.
    }
    // Part 2: the theme on the lead.
    {
        XmPattern& p = s.pattern("themeA1");
        syncMark(p, 2);
        drums(p, Beat::Four);
        hats(p, Hats::Eighths);
        bass(p, kVerse, Bass::Octaves);
        pads(p, kVerse, 30);
        melody(p, kThemeA, InstLead, ChLead, 48);
    }
    {
        XmPattern& p = s.pattern("themeA2");
        drums(p, Beat::Four);
        hats(p, Hats::Busy);
        bass(p, kVerse, Bass::Octaves);
        pads(p, kVerse, 30);
        melody(p, kThemeA2, InstLead, ChLead, 48);
        arpeggios(p, kVerse, 20);
        // Accents with fine volume changes.
        effect(p, 2, ChArp, FxExtended, 0xA4);
        effect(p, 34, ChArp, FxExtended, 0xB4);
    }
    {
        XmPattern& p = s.pattern("themeA3");
        drums(p, Beat::Four, 0, 3);
        snareRoll(p, 3);
        hats(p, Hats::Eighths);
        bass(p, kVerse, Bass::Octaves);
        pads(p, kVerse, 34);
        melody(p, kThemeA, InstLead, ChLead, 52);
        arpeggios(p, kVerse, 24);
        // The last note sags a little, then a held breath before the breakdown.
        effect(p, 61, ChLead, FxExtraFine, 0x23);
        effect(p, 63, ChFx, FxExtended, 0xE3);
    }
    // Part 3: breakdown, pads with tremolo and a gliding bass, then a build.
    {
        XmPattern& p = s.pattern("break1");
        syncMark(p, 3);
        effect(p, 1, ChFx, FxGlobalVolumeSlide, 0x02);
        pads(p, kBridge, 44, true);
        effect(p, 0, ChPadA, FxExtended, 0x72); // square-wave tremolo
        bass(p, kBridge, Bass::Glide);
        hats(p, Hats::Quarter, 1, 4);
        // A falling sweep as the floor drops away.
        put(p, 0, ChSnare, note(5, 0), InstSweep, vol(30));
        for (int r = 1; r < 12; ++r) effect(p, r, ChSnare, FxPortaDown, r == 1 ? 0x0C : 0);
        put(p, 12, ChSnare, kKeyOff, 0);
        melody(p, kBellLine, InstBell, ChLead, 24);
    }
    {
        XmPattern& p = s.pattern("break2");
        effect(p, 0, ChFx, FxGlobalVolumeSlide, 0x20);
        for (int r = 1; r < 8; ++r) effect(p, r, ChFx, FxGlobalVolumeSlide, 0);
        effect(p, 8, ChFx, FxGlobalVolume, 0x40);
        pads(p, kBridge, 48);
        bass(p, kBridge, Bass::Roots);
        drums(p, Beat::Build, 2, 4);
        hats(p, Hats::Eighths, 2, 4);
        riser(p, 3);
        arpeggios(p, kBridge, 26);
    }
    // Part 4: the second theme over the chorus chords.
    {
        XmPattern& p = s.pattern("themeB1");
        syncMark(p, 4);
        drums(p, Beat::Four);
        hats(p, Hats::Eighths);
        bass(p, kChorus, Bass::Octaves);
        pads(p, kChorus, 32);
        melody(p, kThemeB, InstLead, ChLead, 50);
        volumeColumn(p, 2, ChLead, 0xA6); // vibrato speed from the volume column
        volumeColumn(p, 3, ChLead, 0xB4);
    }
    {
        XmPattern& p = s.pattern("themeB2");
        drums(p, Beat::Four);
        hats(p, Hats::Busy);
        bass(p, kChorus, Bass::Octaves);
        pads(p, kChorus, 32);
        melody(p, kThemeB2, InstLead, ChLead, 50);
        arpeggios(p, kChorus, 22, true);
    }
    {
        XmPattern& p = s.pattern("themeB3");
        drums(p, Beat::Four, 0, 3);
        snareRoll(p, 3);
        hats(p, Hats::Eighths);
        bass(p, kChorus, Bass::Octaves);
        pads(p, kChorus, 36);
        melody(p, kThemeB, InstLead, ChLead, 54);
        arpeggios(p, kChorus, 26);
        // The glide into the last note overshoots a touch with an extra-fine slide.
        effect(p, 61, ChLead, FxExtraFine, 0x14);
    }
    // Part 5: stardust, a little faster, bells and a glissando lead.
    {
        XmPattern& p = s.pattern("star1");
        syncMark(p, 5);
        effect(p, 0, ChKick, FxSpeed, 132);
        drums(p, Beat::Pulse);
        hats(p, Hats::Busy);
        pads(p, kTurn, 34);
        effect(p, 0, ChPadB, FxEnvelopePosition, 24);
        arpeggios(p, kTurn, 28, true);
        melody(p, kStarLine, InstBell, ChLead, 36);
        effect(p, 1, ChLead, FxExtended, 0x31); // glissando: slides step by semitones
        effect(p, 0, ChBass, FxExtended, 0x41); // ramp vibrato for the bass
        bass(p, kTurn, Bass::Roots);
    }
    {
        XmPattern& p = s.pattern("star2");
        drums(p, Beat::Four);
        hats(p, Hats::Busy);
        pads(p, kTurn, 34);
        arpeggios(p, kTurn, 28, true);
        melody(p, kStarLine, InstLead, ChLead, 44);
        bass(p, kTurn, Bass::Octaves);
        // The bell answers from alternating sides, a quarter tone flat.
        for (int bar = 0; bar < 4; ++bar) {
            int row = bar * 16 + 8;
            put(p, row, ChFx, note(6, bar % 2 ? 4 : 9), InstBell);
            volumeColumn(p, row, ChFx, bar % 2 ? 0xC2 : 0xCD);
            effect(p, row, ChFx, FxExtended, 0x56);
            effect(p, row + 2, ChFx, FxPanning, bar % 2 ? 0xC0 : 0x40);
            volumeColumn(p, row + 3, ChFx, bar % 2 ? 0xD3 : 0xE3);
        }
    }
    {
        XmPattern& p = s.pattern("star3");
        drums(p, Beat::Four, 0, 3);
        snareRoll(p, 3);
        hats(p, Hats::Busy);
        pads(p, kTurn, 38);
        arpeggios(p, kTurn, 28, true);
        melody(p, kThemeB2, InstLead, ChLead, 46);
        bass(p, kTurn, Bass::Octaves);
        riser(p, 3);
        // A bell that glides up a minor third, by the volume column's tone portamento.
        put(p, 0, ChFx, note(5, 9), InstBell, vol(30));
        put(p, 4, ChFx, note(6, 0), 0, 0xF4);
    }
    // Part 6: half time, back at the first tempo.
    {
        XmPattern& p = s.pattern("half1");
        syncMark(p, 6);
        effect(p, 0, ChKick, FxSpeed, 125);
        drums(p, Beat::Half);
        hats(p, Hats::Eighths);
        bass(p, kVerse, Bass::Roots);
        pads(p, kVerse, 40);
        melody(p, kThemeA2, InstBell, ChLead, 36);
    }
    {
        XmPattern& p = s.pattern("half2");
        drums(p, Beat::Half);
        hats(p, Hats::Eighths);
        bass(p, kVerse, Bass::Roots);
        pads(p, kVerse, 40);
        melody(p, kThemeA, InstLead, ChLead, 40);
        // Stretch the turnaround twice over with pattern delays.
        effect(p, 62, ChFx, FxExtended, 0xE1);
    }
    // Part 7: the build, with tremor on the pads, faster rows and a volume swell.
    {
        XmPattern& p = s.pattern("build1");
        syncMark(p, 7);
        drums(p, Beat::Build);
        hats(p, Hats::Busy);
        bass(p, kChorus, Bass::Octaves);
        pads(p, kChorus, 40);
        effect(p, 32, ChPadC, FxTremor, 0x21);
        for (int r = 33; r < 48; ++r) effect(p, r, ChPadC, FxTremor, 0);
        arpeggios(p, kChorus, 30);
        put(p, 16, ChSnare, note(4, 0), InstSnare, vol(30));
        effect(p, 17, ChSnare, FxMultiRetrigger, 0x92);
    }
    {
        XmPattern& p = s.pattern("build2");
        effect(p, 0, ChFx, FxGlobalVolume, 0x30);
        effect(p, 1, ChFx, FxGlobalVolumeSlide, 0x10);
        for (int r = 2; r < 16; ++r) effect(p, r, ChFx, FxGlobalVolumeSlide, 0);
        drums(p, Beat::Build, 0, 3);
        hats(p, Hats::Busy, 0, 3);
        bass(p, kChorus, Bass::Octaves);
        pads(p, kChorus, 44);
        // The last bar doubles up: speed 3 for its rows, then back to 6.
        effect(p, 48, ChKick, FxSpeed, 3);
        for (int r = 48; r < 64; ++r)
            put(p, r, ChSnare, note(4, 0), InstSnare, vol(16 + (r - 48) * 3));
        effect(p, 63, ChKick, FxSpeed, 6);
        put(p, 48, ChLead, note(4, 9), InstSweep, vol(30));
        effect(p, 49, ChLead, FxPortaUp, 0x10);
        for (int r = 50; r < 64; ++r) effect(p, r, ChLead, FxPortaUp, 0);
    }
    // Part 8: the finale, both themes, then an outro that fades into the opening pads.
    {
        XmPattern& p = s.pattern("finale1");
        syncMark(p, 8);
        effect(p, 0, ChKick, FxGlobalVolume, 0x40);
        drums(p, Beat::Four);
        hats(p, Hats::Busy);
        bass(p, kVerse, Bass::Octaves);
        pads(p, kVerse, 36);
        melody(p, kThemeA, InstLead, ChLead, 54);
        arpeggios(p, kVerse, 26, true);
    }
    {
        XmPattern& p = s.pattern("finale2");
        drums(p, Beat::Four);
        hats(p, Hats::Busy);
        bass(p, kChorus, Bass::Octaves);
        pads(p, kChorus, 36);
        melody(p, kThemeB2, InstLead, ChLead, 54);
        arpeggios(p, kChorus, 26);
    }
    {
        XmPattern& p = s.pattern("outro");
        drums(p, Beat::Four, 0, 2);
        hats(p, Hats::Eighths, 0, 3);
        bass(p, kVerse, Bass::Roots);
        pads(p, kVerse, 40);
        melody(p, kThemeA2, InstLead, ChLead, 44);
        // The lead fades on its last note with vibrato, the pads are released.
        for (int r = 56; r < 60; ++r) {
            p.at(r, ChLead).effect = FxVibratoVolSlide;
            p.at(r, ChLead).param = r == 56 ? 0x03 : 0;
        }
        effect(p, 56, ChPadA, FxKeyOff, 0x04);
        effect(p, 56, ChPadB, FxKeyOff, 0x08);
        effect(p, 56, ChPadC, FxKeyOff, 0x0C);
        put(p, 32, ChArp, note(5, 0), InstPluck, vol(30));
        effect(p, 33, ChArp, FxVolumeSlide, 0x02);
        effect(p, 48, ChBass, FxSetVolume, 0x20);
        volumeColumn(p, 50, ChBass, 0x62);
        put(p, 60, ChFx, note(5, 9), InstBell, vol(30));
        volumeColumn(p, 62, ChFx, 0x82);
    }

    const std::vector<std::vector<const char*>> parts = {
        {"intro1", "intro2", "intro3"},
        {"groove1", "groove2", "groove3"},
        {"themeA1", "themeA2", "themeA3"},
        {"break1", "break2"},
        {"themeB1", "themeB2", "themeB3"},
        {"star1", "star2", "star3"},
        {"half1", "half2"},
        {"build1", "build2"},
        {"finale1", "finale2", "themeA3", "outro"},
    };
    for (const auto& part : parts) {
        track.partStartOrder.push_back(static_cast<int>(m.orders.size()));
        for (const char* name : part) m.orders.push_back(s.index(name));
    }
    track.partStartOrder.push_back(static_cast<int>(m.orders.size()));
    m.restartPosition = 0;
    return track;
}

} // namespace kestrune
