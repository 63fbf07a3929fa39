// What the library's tests share: a private temporary folder for the files a
// test writes (removed with it), a file's fields as pairs, and the message
// of the exception an action throws.
#pragma once

#include <scrivlet/scrivlet.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class CTempFiles {
public:
    CTempFiles() {
        std::string pattern = (std::filesystem::temp_directory_path() / "scrivlet-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        m_Dir = pattern;
    }
    ~CTempFiles() { std::filesystem::remove_all(m_Dir); }
    CTempFiles(const CTempFiles&) = delete;
    CTempFiles& operator=(const CTempFiles&) = delete;

    // Writes the bytes to a file of that name and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = (m_Dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Dir() const { return m_Dir.string(); }

private:
    std::filesystem::path m_Dir;
};

using Fields = std::vector<std::pair<std::string, std::string>>;

inline Fields Read(const CVendorInfoFile& file) {
    Fields fields;
    const FieldListPtr list = file.GetFields();
    for (const CVIFField& field : *list) fields.emplace_back(field.Name(), field.Value());
    return fields;
}

// The message of the CQXRunTimeException that action throws.
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CQXRunTimeException& error) {
        return error.what();
    }
    return "(nothing thrown)";
}
