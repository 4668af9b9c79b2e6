// The files krv reads: looked at before they are opened, never created, never written over.
#pragma once

#include <initializer_list>
#include <string>

namespace kestrune {

// An existing regular file to read. False, with a one-line reason in error ("no such file",
// "is a folder", "is not a regular file"), otherwise.
bool checkInputFile(const std::string& path, std::string& error);

// An archive to read scenes from: true when it exists and holds entries or none; false, with the
// reason, when it is a folder, not an archive or damaged. present is false for a missing path,
// which is not an error (the caller reads loose files only) and is never created.
bool checkArchiveToRead(const std::string& path, bool& present, std::string& error);

// Whether both paths name one existing file (through links and different spellings).
bool sameFile(const std::string& a, const std::string& b);

// An output path that can take a file: false, with the reason, when it names a folder.
bool checkOutputIsNotFolder(const std::string& output, std::string& error);

// The output must not be any of the inputs: false, with the reason, when it is.
bool checkOutputIsNotInput(const std::string& output, std::initializer_list<std::string> inputs,
                           std::string& error);

} // namespace kestrune
