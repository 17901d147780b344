#include "ComponentTest.h"
#include "ApartmentPump.h"
#include "client/CVantorApplication.h"
#include "runtime/CComponentThreads.h"
#include "support/CProductIdentity.h"
#include "support/CLog.h"
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
    CLog::DestroyInstance();
    CProductIdentity::DestroyInstance();
    shown.clear();
    boxAnswer = IDOK;
    CUtils::SetMessageBoxFunction(RecordBox);
}

bool ComponentTest::WaitForComponentThreads(DWORD milliseconds) {
    // A thread may still wait for this apartment (the cancel thread's texts are read here
    // while a search runs), so the apartment serves calls meanwhile.
    return PumpUntil([] { return !CComponentThreads::AnyRunning(); }, milliseconds);
}

ComponentTest::~ComponentTest() {
    // The threads use the process-wide objects deleted below.
    EXPECT_TRUE(WaitForComponentThreads(10000));
    CUtils::SetMessageBoxFunction(nullptr);
    CVantorApplication::DestroyInstance();
    CUtils::DestroyInstance();
    CLog::DestroyInstance();
}
