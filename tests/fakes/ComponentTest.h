#pragma once
#include "TempFolder.h"
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

protected:
    ComponentTest();
    ~ComponentTest() override;

    TempFolder folder;
};
