#include "trialkit/trialkit.h"

#include "corekit/corekit.h"
#include "os/local_name.h"

#include <cerrno>
#include <unistd.h>

void CIniArgs::AddArg(const std::string& section, const std::string& key, const std::string& value) {
    m_rows.push_back({section, key, value});
}

// The name is held by binding a local socket name; the kernel releases it
// when the socket closes, also when the process is killed. The socket is
// close-on-exec, so a program started from here does not keep the name.
// Any failure other than a held name lets this instance run.
CLimitSingleInstance::CLimitSingleInstance(const wchar_t* name) {
    m_fd = OSBindLocalName(Utf16ToUtf8(name).get());
    m_another = m_fd < 0 && errno == EADDRINUSE;
}

CLimitSingleInstance::~CLimitSingleInstance() {
    if (m_fd >= 0) close(m_fd);
}

int CLimitSingleInstance::IsAnotherInstanceRunning() const { return m_another ? 1 : 0; }

CMFCDialogTKUserInput::CMFCDialogTKUserInput(CTKLog* log, const std::string& title) : m_log(log), m_title(title) {}

void CUIUpdate::FreeUIUpdate() {}
