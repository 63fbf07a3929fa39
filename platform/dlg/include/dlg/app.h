// Application object base of the dialog framework. The program derives its
// application object from it; InitInstance holds the whole life of the process.
#pragma once

class CWnd;

class CWinApp {
public:
    // appName is the default caption of message boxes; null takes the
    // program's file name.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returns false so that no framework message loop runs after it.
    virtual bool InitInstance() = 0;

    const char* m_pszAppName = nullptr;
    CWnd* m_pMainWnd = nullptr;
};

// The application object, or null when none exists.
CWinApp* DlgGetApp();
// The default caption of message boxes.
const char* DlgAppName();
