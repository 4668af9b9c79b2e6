// Command-line arguments as every krv command reads them.
#include "tools/krv_args.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/krv_commands.h"

namespace kestrune {

namespace {

bool looksLikeFlag(const char* arg) {
    if (arg[0] != '-' || arg[1] == '\0') return false;
    return !((arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.');
}

bool allDigits(const char* begin, const char* end) {
    if (begin == end) return false;
    for (const char* p = begin; p != end; ++p)
        if (*p < '0' || *p > '9') return false;
    return true;
}

} // namespace

const char* ParsedArgs::value(const char* name) const {
    const char* found = nullptr;
    for (const auto& [flag, text] : flags)
        if (!std::strcmp(flag, name)) found = text;
    return found;
}

bool ParsedArgs::has(const char* name) const {
    for (const auto& entry : flags)
        if (!std::strcmp(entry.first, name)) return true;
    return false;
}

std::vector<const char*> ParsedArgs::values(const char* name) const {
    std::vector<const char*> found;
    for (const auto& [flag, text] : flags)
        if (!std::strcmp(flag, name)) found.push_back(text);
    return found;
}

bool parseArgs(int argc, char** argv, std::initializer_list<FlagSpec> known, ParsedArgs& out) {
    out = ParsedArgs{};
    for (int i = 0; i < argc; ++i)
        if (!std::strcmp(argv[i], "--")) {
            break;
        } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            out.help = true;
            return true;
        }
    bool flagsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (flagsEnded || !looksLikeFlag(arg)) {
            out.positional.push_back(arg);
            continue;
        }
        if (!std::strcmp(arg, "--")) {
            flagsEnded = true;
            continue;
        }
        const FlagSpec* match = nullptr;
        for (const FlagSpec& candidate : known)
            if (!std::strcmp(candidate.name, arg)) match = &candidate;
        if (!match) {
            out.error = std::string("unknown option ") + arg;
            return false;
        }
        if (!match->takesValue) {
            out.flags.emplace_back(match->name, nullptr);
            continue;
        }
        if (i + 1 >= argc) {
            out.error = std::string("a value is missing after ") + arg;
            return false;
        }
        out.flags.emplace_back(match->name, argv[++i]);
    }
    return true;
}

bool parseNumber(const char* text, double low, double high, double& value) {
    // Digits, one optional sign, point and exponent: strtod alone also takes nan, inf and hex.
    for (const char* p = text; *p; ++p)
        if (!std::strchr("0123456789+-.eE", *p)) return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(parsed)) return false;
    if (parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

bool parseInteger(const char* text, long long low, long long high, long long& value) {
    const char* digits = text + (*text == '-' || *text == '+');
    if (!allDigits(digits, digits + std::strlen(digits))) return false;
    errno = 0;
    const long long parsed = std::strtoll(text, nullptr, 10);
    if (errno == ERANGE || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

bool parseSize(const char* text, int low, int high, int& width, int& height) {
    const char* x = std::strchr(text, 'x');
    if (!x || !allDigits(text, x) || !allDigits(x + 1, x + 1 + std::strlen(x + 1))) return false;
    // Ten digits and more would overflow; the bounds are far below.
    if (x - text > 9 || std::strlen(x + 1) > 9) return false;
    const long w = std::strtol(text, nullptr, 10), h = std::strtol(x + 1, nullptr, 10);
    if (w < low || w > high || h < low || h > high) return false;
    width = int(w);
    height = int(h);
    return true;
}

int usageError(const char* command, const std::string& message, const char* usage) {
    std::fprintf(stderr, "krv %s: %s\n%s", command, message.c_str(), usage);
    return kExitUsage;
}

int printHelp(const char* usage) {
    std::fputs(usage, stdout);
    return kExitOk;
}

} // namespace kestrune
