#pragma once
#include "TempFolder.h"
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Every component test starts in its own folder with fresh process-wide singletons and a
// message box that records instead of waiting for a click.
class ComponentTest : public ::testing::Test {
public:
    struct ShownBox {
        std::wstring text;
        std::wstring caption;
        unsigned style;
    };

    static std::vector<ShownBox> shown;  // every box "shown", in order
    static int boxAnswer;

    // True when every thread the component started (the cancel thread outlives its search by
    // a moment) has ended within the time; the calling thread's apartment serves them meanwhile.
    static bool WaitForComponentThreads(DWORD milliseconds);

protected:
    ComponentTest();
    ~ComponentTest() override;

    TempFolder folder;
};
