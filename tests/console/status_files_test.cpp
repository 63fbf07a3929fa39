// The status and information files: exact bytes, and the refusals that keep a
// root-run console from writing through planted names.
#include "console/status_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each test runs in a fresh working directory, since the names are relative.
class StatusFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "voltaris-status-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_dir);
    }
    void TearDown() override {
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_dir);
    }

    std::filesystem::path m_dir;
    std::filesystem::path m_previous;
};

}  // namespace

TEST_F(StatusFilesTest, EveryStateWordEndsInCrLfAndReplacesTheFile) {
    const char* words[] = {
        "READY",         "BUSY",          "UNSUCCESSFUL", "ERROR_LOADING_DRIVER", "COULD_NOT_FIND_HOST",
        "REBOOT_NEEDED", "INVALID_DRIVER"};
    WriteStatusFile(STATUS_UNSUCCESSFUL);
    for (int state = STATUS_READY; state <= STATUS_INVALID_DRIVER; ++state) {
        WriteStatusFile(state);
        EXPECT_EQ(ReadBytes(STATUS_FILE_NAME), std::string(words[state]) + "\r\n");
    }
    for (int state : {-1, 7, 1000}) {
        WriteStatusFile(STATUS_BUSY);
        WriteStatusFile(state);
        EXPECT_EQ(ReadBytes(STATUS_FILE_NAME), "") << state;
    }
}

TEST_F(StatusFilesTest, InfoLinesAppendUntilTruncatedAndCarryCrLf) {
    WriteInfoLine("INDEX|0|HOST_INFO|a\n", true);
    WriteInfoLine("INDEX|1|HOST_INFO|b\n", false);
    EXPECT_EQ(ReadBytes(INFO_FILE_NAME), "INDEX|0|HOST_INFO|a\r\nINDEX|1|HOST_INFO|b\r\n");
    WriteInfoLine("", true);
    EXPECT_EQ(ReadBytes(INFO_FILE_NAME), "");
    WriteInfoLine("NO_DEVICES_FOUND", false);
    EXPECT_EQ(ReadBytes(INFO_FILE_NAME), "NO_DEVICES_FOUND");
    // Bytes above 0x7f and a lone CR pass through as they are.
    WriteInfoLine("\xe9\r|\n\n", true);
    EXPECT_EQ(ReadBytes(INFO_FILE_NAME), "\xe9\r|\r\n\r\n");
}

TEST_F(StatusFilesTest, NewFilesAreCreatedWithMode0644) {
    mode_t previous = umask(0);
    WriteStatusFile(STATUS_READY);
    WriteInfoLine("x", false);
    umask(previous);
    for (const char* name : {STATUS_FILE_NAME, INFO_FILE_NAME}) {
        struct stat info {};
        ASSERT_EQ(stat(name, &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0644u) << name;
    }
}

TEST_F(StatusFilesTest, PlantedNamesAreNeverWrittenThrough) {
    std::ofstream(m_dir / "target") << "precious";
    // A symlink at either name: the target keeps its bytes, the link stays a link.
    std::filesystem::create_symlink(m_dir / "target", STATUS_FILE_NAME);
    std::filesystem::create_symlink(m_dir / "target", INFO_FILE_NAME);
    std::string error;
    EXPECT_FALSE(WriteStatusFile(STATUS_BUSY, &error));
    EXPECT_EQ(error, "CLStatus.txt: a symbolic link is in its place");
    EXPECT_FALSE(WriteInfoLine("x\n", true));
    EXPECT_FALSE(WriteInfoLine("x\n", false, &error));
    EXPECT_EQ(error, "CLInformation.txt: a symbolic link is in its place");
    EXPECT_EQ(ReadBytes((m_dir / "target").string()), "precious");
    EXPECT_TRUE(std::filesystem::is_symlink(STATUS_FILE_NAME));
    std::filesystem::remove(STATUS_FILE_NAME);
    std::filesystem::remove(INFO_FILE_NAME);

    // A hard link to another file is neither emptied nor appended to.
    std::filesystem::create_hard_link(m_dir / "target", STATUS_FILE_NAME);
    std::filesystem::create_hard_link(m_dir / "target", INFO_FILE_NAME);
    EXPECT_FALSE(WriteStatusFile(STATUS_BUSY));
    EXPECT_FALSE(WriteInfoLine("x\n", false, &error));
    EXPECT_EQ(error, "CLInformation.txt: a hard link to another file");
    EXPECT_EQ(ReadBytes((m_dir / "target").string()), "precious");
    std::filesystem::remove(STATUS_FILE_NAME);
    std::filesystem::remove(INFO_FILE_NAME);

    // A FIFO with no reader would block an ordinary open forever; these
    // writes return at once and leave it a FIFO.
    ASSERT_EQ(mkfifo(STATUS_FILE_NAME, 0644), 0);
    ASSERT_EQ(mkfifo(INFO_FILE_NAME, 0644), 0);
    EXPECT_FALSE(WriteStatusFile(STATUS_READY));
    EXPECT_FALSE(WriteInfoLine("x\n", true));
    EXPECT_TRUE(std::filesystem::is_fifo(STATUS_FILE_NAME));
}

// Whatever keeps a file from being written whole is reported: a working
// directory that is gone, a file that is full (here: past the file size limit).
TEST_F(StatusFilesTest, WhatCannotBeWrittenWholeIsReported) {
    EXPECT_TRUE(WriteInfoLine("x\n", true));
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 8;
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    bool written = WriteInfoLine("INDEX|0|VID|2b4e|PID|412|ADDRESS|1\n", false, &error);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "CLInformation.txt: File too large");

    std::filesystem::create_directory(m_dir / "sub");
    std::filesystem::current_path(m_dir / "sub");
    std::filesystem::remove(m_dir / "sub");  // the working directory is gone
    EXPECT_FALSE(WriteStatusFile(STATUS_READY, &error));
    EXPECT_EQ(error, "CLStatus.txt: No such file or directory");
    EXPECT_FALSE(WriteInfoLine("x\n", true));
}
