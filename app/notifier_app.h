// The application object: applies the command-line increment, keeps a single
// notifier running, and runs it modally.
#pragma once

#include "framework/afxwin.h"

constexpr char INSTANCE_MUTEX_NAME[] = "larkbell_mutex";

class CNotifierApp : public CWinApp {
public:
    CNotifierApp();

    // Its existence marks a running notifier; closed once the popup has ended.
    win32::UniqueHandle m_hInstanceMutex;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
