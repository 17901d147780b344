#include "ComponentTest.h"
#include "client/CVantorApplication.h"
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

ComponentTest::~ComponentTest() {
    CUtils::SetMessageBoxFunction(nullptr);
    CVantorApplication::DestroyInstance();
    CUtils::DestroyInstance();
}
