// A private temporary folder for the files a test writes; removed with it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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
