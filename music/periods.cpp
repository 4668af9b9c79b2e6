// Period tables and conversions.
#include "music/periods.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "music/module.h"

namespace kestrune {
namespace {

constexpr int kAmiga[120] = {
    27392, 25856, 24384, 23040, 21696, 20480, 19328, 18240, 17216, 16256, 15360, 14496,
    13696, 12928, 12192, 11520, 10848, 10240, 9664,  9120,  8608,  8128,  7680,  7248,
    6848,  6464,  6096,  5760,  5424,  5120,  4832,  4560,  4304,  4064,  3840,  3624,
    3424,  3232,  3048,  2880,  2712,  2560,  2416,  2280,  2152,  2032,  1920,  1812,
    1712,  1616,  1524,  1440,  1356,  1280,  1208,  1140,  1076,  1016,  960,   906,
    856,   808,   762,   720,   678,   640,   604,   570,   538,   508,   480,   453,
    428,   404,   381,   360,   339,   320,   302,   285,   269,   254,   240,   226,
    214,   202,   190,   180,   170,   160,   151,   143,   135,   127,   120,   113,
    107,   101,   95,    90,    85,    80,    75,    71,    67,    63,    60,    56,
    53,    50,    47,    45,    42,    40,    37,    35,    33,    31,    30,    28,
};

int amigaTable(int n) {
    if (n < 0) return 2 * kAmiga[11];
    if (n > 119) return kAmiga[108] / 2;
    return kAmiga[n];
}

struct PeriodNotes {
    std::array<int16_t, 10000> note{};
    PeriodNotes() {
        for (int n = 0; n < 96; ++n)
            note[static_cast<size_t>(std::min(kAmiga[n], 9999))] = static_cast<int16_t>(n);
        for (int p = 9998; p >= 1; --p)
            if (note[static_cast<size_t>(p)] == 0) note[static_cast<size_t>(p)] = note[p + 1u];
    }
};

const std::array<int, 256> kAutoVibratoSine = [] {
    std::array<int, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[static_cast<size_t>(i)] =
            -static_cast<int>(std::lround(64.0 * std::sin(2.0 * std::numbers::pi * i / 256.0)));
    return t;
}();

} // namespace

const uint8_t kSine32[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                             224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                             212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

int linearPeriod(int note, int finetune) {
    return 7680 - 64 * note - finetune / 2;
}

int amigaPeriod(int note, int finetune) {
    const int n = std::clamp(note, 0, 119);
    const int p = kAmiga[n];
    if (finetune == 0) return p;
    // Exact in double: finetune / 128 has at most 7 fraction bits.
    const double x = finetune / 128.0;
    const double r = x < 0 ? p + (amigaTable(n - 1) - p) * -x : p + (amigaTable(n + 1) - p) * x;
    return static_cast<int>(r);
}

int notePeriod(int frequencyMode, int note, int finetune) {
    return frequencyMode == FrequencyLinear ? linearPeriod(note, finetune)
                                            : amigaPeriod(note, finetune);
}

float periodFrequency(int frequencyMode, int period) {
    if (frequencyMode == FrequencyLinear)
        return static_cast<float>(8363.0 * std::exp2((4608 - period) / 768.0));
    return static_cast<float>(14317456.0 / std::max(period, 1));
}

int periodToNote(int period) {
    static const PeriodNotes table;
    return table.note[static_cast<size_t>(std::clamp(period, 0, 9999))];
}

int autoVibratoSine(int i) {
    return kAutoVibratoSine[static_cast<size_t>(i & 255)];
}

} // namespace kestrune
