// Trialkit: settings rows, the single-instance guard and the user-input and
// UI-update objects of the support libraries.
#pragma once

#include <string>
#include <vector>

// An ordered list of (section, key, value) rows, handed to the stack switcher.
class CIniArgs {
public:
    struct Row {
        std::string Section;
        std::string Key;
        std::string Value;
        bool operator==(const Row&) const = default;
    };

    CIniArgs() = default;
    CIniArgs(const CIniArgs&) = default;
    CIniArgs& operator=(const CIniArgs&) = default;
    virtual ~CIniArgs() = default;

    void AddArg(const std::string& section, const std::string& key, const std::string& value);
    const std::vector<Row>& Rows() const { return m_rows; }

private:
    std::vector<Row> m_rows;
};

// Detects another process that holds the same name. The name is held for as
// long as the object lives, and is released by the kernel when the process
// ends in any way, so a killed instance leaves nothing stale behind.
class CLimitSingleInstance {
public:
    explicit CLimitSingleInstance(const wchar_t* name);
    ~CLimitSingleInstance();
    CLimitSingleInstance(const CLimitSingleInstance&) = delete;
    CLimitSingleInstance& operator=(const CLimitSingleInstance&) = delete;

    // Nonzero when another process held the name when this object was made.
    int IsAnotherInstanceRunning() const;

private:
    int m_fd = -1;
    bool m_another = false;
};

class CTKLog;

// Timed user-input object of the console. The program keeps one alive while
// the console runs and makes no calls on it.
class CMFCDialogTKUserInput {
public:
    CMFCDialogTKUserInput(CTKLog* log, const std::string& title);
    const std::string& Title() const { return m_title; }

private:
    CTKLog* m_log;
    std::string m_title;
};

class CUIUpdate {
public:
    // Releases the UI-update helpers; called when the main dialog goes away.
    static void FreeUIUpdate();
};
