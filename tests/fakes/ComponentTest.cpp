#include "ComponentTest.h"
#include "client/CVantorApplication.h"
#include "component/CComponentThreads.h"
#include "support/CProductIdentity.h"
#include "support/CUtils.h"

std::vector<ComponentTest::ShownBox> ComponentTest::shown;
int ComponentTest::boxAnswer = IDOK;

namespace {
int RecordBox(const std::wstring& text, const std::wstring& caption, UINT style) {
    ComponentTest::shown.push_back({text, caption, style});
    return ComponentTest::boxAnswer;
}
}  // namespace

ComponentTest::ComponentTest() {
    CVantorApplication::DestroyInstance();
    CUtils::DestroyInstance();
    CProductIdentity::DestroyInstance();
    shown.clear();
    boxAnswer = IDOK;
    CUtils::SetMessageBoxFunction(RecordBox);
}

bool ComponentTest::WaitForComponentThreads(DWORD milliseconds) {
    const DWORD begin = GetTickCount();
    while (CComponentThreads::AnyRunning()) {
        if (GetTickCount() - begin >= milliseconds) return false;
        // A thread's last call into this apartment (the release of its client copy) waits
        // for the apartment to serve it.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(10);
    }
    return true;
}

ComponentTest::~ComponentTest() {
    // The threads use the process-wide objects deleted below.
    EXPECT_TRUE(WaitForComponentThreads(10000));
    CUtils::SetMessageBoxFunction(nullptr);
    CVantorApplication::DestroyInstance();
    CUtils::DestroyInstance();
}
