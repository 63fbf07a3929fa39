// Placeholder until the single-instance guard lands.
#include "trialkit/trialkit.h"

void CIniArgs::AddArg(const std::string& section, const std::string& key, const std::string& value) {
    m_rows.push_back({section, key, value});
}
CLimitSingleInstance::CLimitSingleInstance(const wchar_t*) {}
CLimitSingleInstance::~CLimitSingleInstance() {}
int CLimitSingleInstance::IsAnotherInstanceRunning() const { return m_another ? 1 : 0; }
CMFCDialogTKUserInput::CMFCDialogTKUserInput(CTKLog* log, const std::string& title) : m_log(log), m_title(title) {}
void CUIUpdate::FreeUIUpdate() {}
