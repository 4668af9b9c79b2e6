// The show's synthesised instruments: drums, bass, pad, lead, pluck, bell and noise sweep.
#include "content/instruments.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrune {

namespace {

constexpr double kTau = 2 * std::numbers::pi;
constexpr double kRate = 44100; // rate of the one-shot samples at note C-4

// Tuning that makes C-4 play a sample at 44100 frames per second.
constexpr int8_t kRateRelativeNote = 29;
constexpr int8_t kRateFinetune = -27;

struct Noise {
    uint32_t state;
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

std::vector<int16_t> quantise(const std::vector<double>& wave, bool sixteenBit) {
    double peak = 1e-9;
    for (double v : wave) peak = std::max(peak, std::fabs(v));
    double scale = (sixteenBit ? 32000.0 : 126.0) / peak;
    std::vector<int16_t> out(wave.size());
    for (size_t i = 0; i < wave.size(); ++i)
        out[i] = static_cast<int16_t>(std::lround(wave[i] * scale));
    return out;
}

XmInstrument single(const char* name, XmSample sample) {
    XmInstrument ins;
    ins.name = name;
    ins.samples.push_back(std::move(sample));
    return ins;
}

XmSample oneShot(const char* name, const std::vector<double>& wave, bool sixteenBit) {
    XmSample s;
    s.name = name;
    s.data = quantise(wave, sixteenBit);
    s.sixteenBit = sixteenBit;
    s.relativeNote = kRateRelativeNote;
    s.finetune = kRateFinetune;
    return s;
}

XmInstrument kick() {
    std::vector<double> w(static_cast<size_t>(kRate * 0.4));
    double phase = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        double t = i / kRate;
        double freq = 45 + 130 * std::exp(-t * 28);
        phase += kTau * freq / kRate;
        double click = t < 0.004 ? (1 - t / 0.004) * 0.6 : 0;
        w[i] = std::sin(phase) * std::exp(-t * 7) + click;
    }
    return single("kick", oneShot("kick", w, false));
}

XmInstrument snare() {
    std::vector<double> w(static_cast<size_t>(kRate * 0.28));
    Noise noise{12345};
    double low = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        double t = i / kRate;
        double n = noise.next();
        low += (n - low) * 0.35;
        double tone = std::sin(kTau * 185 * t) * std::exp(-t * 25);
        w[i] = 0.7 * tone + (n - 0.5 * low) * std::exp(-t * 14);
    }
    return single("snare", oneShot("snare", w, false));
}

std::vector<double> hatWave(double seconds, double decay, uint32_t seed) {
    std::vector<double> w(static_cast<size_t>(kRate * seconds));
    Noise noise{seed};
    double previous = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        double t = i / kRate;
        double n = noise.next();
        double high = n - previous; // a first difference keeps the bright part
        previous = n;
        double metal = std::sin(kTau * 6100 * t) * 0.3 + std::sin(kTau * 8300 * t) * 0.2;
        w[i] = (high + metal) * std::exp(-t * decay);
    }
    return w;
}

XmInstrument hats() {
    XmInstrument ins;
    ins.name = "hats";
    ins.samples.push_back(oneShot("closed", hatWave(0.09, 55, 777), false));
    ins.samples.push_back(oneShot("open", hatWave(0.45, 9, 778), false));
    ins.samples[1].volume = 44;
    ins.samples[1].relativeNote = kRateRelativeNote - 12; // played from C-5 at its own rate
    for (int k = 0; k < 96; ++k) ins.sampleMap[k] = k >= 60 ? 1 : 0;
    return ins;
}

// A looped waveform of `cycles` periods of `period` frames each, built from harmonics.
std::vector<double> cycleWave(int period, int cycles,
                              const std::vector<std::pair<double, double>>& partials) {
    std::vector<double> w(static_cast<size_t>(period) * cycles);
    for (size_t i = 0; i < w.size(); ++i) {
        double x = static_cast<double>(i) / period;
        double v = 0;
        for (auto [harmonic, amplitude] : partials) v += amplitude * std::sin(kTau * harmonic * x);
        w[i] = v;
    }
    return w;
}

XmInstrument bass() {
    // 128 frames per cycle; relative note 24 puts C-4 at 261.6 Hz.
    std::vector<std::pair<double, double>> partials;
    for (int h = 1; h <= 24; ++h)
        partials.push_back({h, (h == 1 ? 1.6 : 1.0) / h * std::exp(-h * 0.12)});
    XmSample s;
    s.name = "bass";
    s.data = quantise(cycleWave(128, 4, partials), true);
    s.sixteenBit = true;
    s.loopType = 1;
    s.loopStart = 0;
    s.loopLength = static_cast<uint32_t>(s.data.size());
    s.relativeNote = 24;
    s.finetune = 2;
    s.volume = 60;
    XmInstrument ins = single("bass", s);
    ins.volumeEnvelope = {{{0, 0}, {2, 64}, {10, 44}, {40, 38}}, 2, 0, 0, true, true, false};
    ins.fadeout = 1200;
    return ins;
}

XmInstrument pad() {
    // Three saws detuned by whole cycles within an 8192-frame loop: 127, 128, 129 periods.
    const int loop = 8192;
    std::vector<double> w(loop);
    for (int voice = 0; voice < 3; ++voice) {
        int periods = 127 + voice;
        for (int h = 1; h <= 14; ++h) {
            double amplitude = 1.0 / h * (h % 2 ? 1.0 : 0.6);
            for (int i = 0; i < loop; ++i)
                w[i] += amplitude * std::sin(kTau * h * periods * i / loop + voice * 1.7 * h);
        }
    }
    XmSample s;
    s.name = "pad";
    s.data = quantise(w, true);
    s.sixteenBit = true;
    s.loopType = 2;
    s.loopStart = 0;
    s.loopLength = loop;
    s.relativeNote = 12; // 64 frames per cycle
    s.finetune = 2;
    s.volume = 40;
    XmInstrument ins = single("pad", s);
    // Slow swell, then a gentle breathing loop for as long as the note lasts (no sustain point:
    // a sustain would hold the swell before the loop is reached); release is the fadeout.
    ins.volumeEnvelope = {
        {{0, 0}, {24, 56}, {48, 64}, {80, 50}, {112, 64}}, 0, 2, 4, true, false, true};
    ins.panningEnvelope = {{{0, 32}, {60, 44}, {120, 20}, {180, 32}}, 0, 0, 3, true, false, true};
    ins.vibratoType = 0;
    ins.vibratoSweep = 40;
    ins.vibratoDepth = 3;
    ins.vibratoRate = 12;
    ins.fadeout = 400;
    return ins;
}

XmInstrument lead() {
    // A pulse of one-third duty with a touch of saw, 64 frames per cycle.
    const int period = 64;
    std::vector<double> w(period * 2);
    for (size_t i = 0; i < w.size(); ++i) {
        double x = static_cast<double>(i % period) / period;
        double v = 0;
        for (int h = 1; h <= 20; ++h) {
            double pulse = 2.0 / (h * std::numbers::pi) * std::sin(std::numbers::pi * h / 3.0);
            v += pulse * std::cos(kTau * h * x) * std::exp(-h * 0.08);
            v += 0.35 / h * std::sin(kTau * h * x);
        }
        w[i] = v;
    }
    XmSample s;
    s.name = "lead";
    s.data = quantise(w, true);
    s.sixteenBit = true;
    s.loopType = 1;
    s.loopLength = static_cast<uint32_t>(w.size());
    s.relativeNote = 12;
    s.finetune = 2;
    s.volume = 44;
    XmInstrument ins = single("lead", s);
    ins.volumeEnvelope = {{{0, 20}, {3, 64}, {14, 48}, {200, 36}}, 2, 0, 0, true, true, false};
    ins.vibratoType = 0;
    ins.vibratoSweep = 64;
    ins.vibratoDepth = 5;
    ins.vibratoRate = 40;
    ins.fadeout = 900;
    return ins;
}

XmInstrument pluck() {
    // An 8-bit square-ish cycle of 32 frames; relative note 0 puts C-4 at 261.6 Hz.
    std::vector<std::pair<double, double>> partials;
    for (int h = 1; h <= 11; h += 2) partials.push_back({h, 1.0 / h});
    partials.push_back({2, 0.25});
    XmSample s;
    s.name = "pluck";
    s.data = quantise(cycleWave(32, 2, partials), false);
    s.loopType = 1;
    s.loopLength = static_cast<uint32_t>(s.data.size());
    s.relativeNote = 0;
    s.finetune = 2;
    s.volume = 36;
    XmInstrument ins = single("pluck", s);
    // Decays even while held: no sustain point.
    ins.volumeEnvelope = {{{0, 64}, {6, 40}, {24, 12}, {60, 0}}, 0, 0, 0, true, false, false};
    ins.fadeout = 3000;
    return ins;
}

XmInstrument bell() {
    std::vector<double> w(static_cast<size_t>(kRate * 1.6));
    const double f = 261.63;
    for (size_t i = 0; i < w.size(); ++i) {
        double t = i / kRate;
        double modulator = std::sin(kTau * f * 3.5 * t) * 2.2 * std::exp(-t * 3);
        w[i] = std::sin(kTau * f * t + modulator) * std::exp(-t * 2.2) +
               0.3 * std::sin(kTau * f * 2.76 * t) * std::exp(-t * 4);
    }
    XmSample s = oneShot("bell", w, true);
    s.volume = 40;
    XmInstrument ins = single("bell", s);
    ins.panningEnvelope = {{{0, 16}, {30, 48}, {60, 16}}, 0, 0, 2, true, false, true};
    ins.fadeout = 500;
    return ins;
}

XmInstrument sweep() {
    // Band-limited noise, ping-pong looped, for risers and washes.
    std::vector<double> w(12000);
    Noise noise{999};
    double a = 0, b = 0;
    for (size_t i = 0; i < w.size(); ++i) {
        double n = noise.next();
        a += (n - a) * 0.2;
        b += (a - b) * 0.2;
        w[i] = a - b;
    }
    XmSample s = oneShot("sweep", w, false);
    s.loopType = 2;
    s.loopStart = 2000;
    s.loopLength = 8000;
    s.volume = 36;
    XmInstrument ins = single("sweep", s);
    ins.volumeEnvelope = {{{0, 0}, {32, 48}, {64, 64}}, 2, 0, 0, true, true, false};
    ins.panningEnvelope = {{{0, 8}, {40, 56}, {80, 8}}, 0, 0, 2, true, false, true};
    ins.vibratoType = 1;
    ins.vibratoDepth = 8;
    ins.vibratoRate = 6;
    ins.fadeout = 600;
    return ins;
}

} // namespace

std::vector<XmInstrument> makeInstruments() {
    return {kick(), snare(), hats(), bass(), pad(), lead(), pluck(), bell(), sweep()};
}

} // namespace kestrune
