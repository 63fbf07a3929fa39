// Pipes and child processes for the os tests.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

// A pipe whose ends close with the object.
struct CTestPipe {
    CTestPipe();
    ~CTestPipe();
    void CloseRead();
    void CloseWrite();
    void Write(const std::string& text) const;
    // Reads exactly size bytes (fewer at the end of input).
    std::string Read(size_t size) const;
    int ReadFd = -1;
    int WriteFd = -1;
};

// Forks a child that runs body and ends with its result as exit status.
pid_t StartChild(const std::function<int()>& body);
// Waits for the child (killing it after 10 s); its exit status, or 128 +
// the signal that killed it.
int WaitChild(pid_t pid);
// Waits until the child sleeps in a blocking call.
bool WaitUntilBlocked(pid_t pid);
// A value for VOLTARIS_INSTANCE that no other test process uses.
std::string TestInstanceName();
