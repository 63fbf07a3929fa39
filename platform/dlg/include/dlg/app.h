// Application object base of the dialog framework. The program derives its
// application object from it; InitInstance holds the whole life of the process.
#pragma once

class CWnd;

class CWinApp {
public:
    CWinApp() = default;
    virtual ~CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returns false so that no framework message loop runs after it.
    virtual bool InitInstance() = 0;

    CWnd* m_pMainWnd = nullptr;
};
