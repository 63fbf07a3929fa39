// The two files through which another program follows the console: the
// status file holds one state word, the information file the machine-readable
// lines of the last listing.
#pragma once

#include <string>

enum StatusFileState {
    STATUS_READY = 0,
    STATUS_BUSY = 1,
    STATUS_UNSUCCESSFUL = 2,
    STATUS_ERROR_LOADING_DRIVER = 3,
    STATUS_COULD_NOT_FIND_HOST = 4,
    STATUS_REBOOT_NEEDED = 5,
    STATUS_INVALID_DRIVER = 6,
};

constexpr const char* STATUS_FILE_NAME = "CLStatus.txt";
constexpr const char* INFO_FILE_NAME = "CLInformation.txt";

// Writes text to the information file, emptying it first when truncate is set.
// False when the file could not be written whole (or, with truncate, emptied);
// error, when given, then says why.
bool WriteInfoLine(const std::string& text, bool truncate, std::string* error = nullptr);

// Replaces the status file's content with the state's word and a line end.
// A value outside the table leaves the file empty. False, with error, when
// the file could not be written.
bool WriteStatusFile(int state, std::string* error = nullptr);
