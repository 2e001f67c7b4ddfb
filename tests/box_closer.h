// Test fixture: runs a call that shows a message box on this thread, reads the box and closes
// it with OK from a thread timer while it runs.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct SeenBox
{
    bool found;
    std::string caption;
    std::string text; // the longest static text: the message
    HWND owner;
    bool hasOk;
    bool hasCancel;
    bool watchedWindowEnabled; // the window given to WithBoxCloser, while the box was up
};

// Every box the call shows is closed; the first one is described.
SeenBox WithBoxCloser(const std::function<void()>& call, HWND watchedWindow = 0);
