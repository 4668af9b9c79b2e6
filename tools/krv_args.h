// Command-line arguments as every krv command reads them: known flags only, --help anywhere,
// strict numbers and sizes.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace kestrune {

// A flag a command accepts, "--name"; takesValue when the next argument is its value.
struct FlagSpec {
    const char* name;
    bool takesValue;
};

struct ParsedArgs {
    bool help = false; // --help or -h appeared anywhere
    std::vector<const char*> positional;
    std::vector<std::pair<const char*, const char*>> flags; // name as given, value (or nullptr)
    std::string error;                                      // why parsing failed

    // The value of the last occurrence of a flag, or nullptr when it was not given.
    const char* value(const char* name) const;
    // Whether a flag was given at all.
    bool has(const char* name) const;
    // Every value of a flag that may repeat, in order.
    std::vector<const char*> values(const char* name) const;
};

// Splits argv into known flags and positional arguments. False, with a reason in out.error, for
// an unknown flag or a flag whose value is missing; true with out.help set when --help or -h
// appears anywhere (the rest is then not checked). "--" ends the flags. An argument that starts
// with '-' followed by a digit or '.' is a positional (a negative number); "-" alone is too.
bool parseArgs(int argc, char** argv, std::initializer_list<FlagSpec> known, ParsedArgs& out);

// A finite decimal number from low to high with nothing after it (no nan, inf, hex or spaces).
bool parseNumber(const char* text, double low, double high, double& value);

// A whole decimal number from low to high with nothing after it.
bool parseInteger(const char* text, long long low, long long high, long long& value);

// "WxH": two whole decimal numbers, each from low to high, joined by 'x' and nothing more.
bool parseSize(const char* text, int low, int high, int& width, int& height);

// Prints "krv COMMAND: message" and the command's usage to standard error; the usage status.
int usageError(const char* command, const std::string& message, const char* usage);

// Prints the command's usage to standard output; the success status.
int printHelp(const char* usage);

} // namespace kestrune
