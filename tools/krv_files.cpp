// The files krv reads: looked at before they are opened, never created, never written over.
#include "tools/krv_files.h"

#include <filesystem>

#include "archive/archive.h"

namespace kestrune {

namespace fs = std::filesystem;

bool checkInputFile(const std::string& path, std::string& error) {
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    if (status.type() == fs::file_type::not_found || status.type() == fs::file_type::none) {
        error = "'" + path + "': no such file";
        return false;
    }
    if (status.type() == fs::file_type::directory) {
        error = "'" + path + "' is a folder, not a file";
        return false;
    }
    if (status.type() != fs::file_type::regular) {
        error = "'" + path + "' is not a regular file";
        return false;
    }
    return true;
}

bool checkArchiveToRead(const std::string& path, bool& present, std::string& error) {
    std::error_code code;
    present = fs::exists(fs::status(path, code));
    if (!present) return true;
    if (!checkInputFile(path, error)) return false;
    const DataArchive archive(path.c_str());
    switch (archive.directoryState()) {
    case DirectoryState::Empty:
    case DirectoryState::Valid:
        return true;
    case DirectoryState::Closed:
        error = "cannot open the archive '" + path + "'";
        return false;
    case DirectoryState::Foreign:
        error = "'" + path + "' is not an archive";
        return false;
    case DirectoryState::Damaged:
        break;
    }
    error = "the archive '" + path + "' is damaged";
    return false;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code code;
    return fs::equivalent(a, b, code) && !code;
}

bool checkOutputIsNotFolder(const std::string& output, std::string& error) {
    std::error_code code;
    if (!fs::is_directory(output, code)) return true;
    error = "cannot write '" + output + "': it is a folder";
    return false;
}

bool checkOutputIsNotInput(const std::string& output, std::initializer_list<std::string> inputs,
                           std::string& error) {
    for (const std::string& input : inputs)
        if (sameFile(output, input)) {
            error = "the output '" + output + "' is the input '" + input + "'";
            return false;
        }
    return true;
}

} // namespace kestrune
