// The application object: starts the program, runs the one wizard sheet modally and ends
// the program when the sheet closes.
#pragma once

#include "framework/Afx.h"

class CmorvikApp : public CWinApp {
public:
    CmorvikApp();
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CmorvikApp theApp;
