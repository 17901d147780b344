#include "CVantorApplication.h"
#include "ClientAnswer.h"
#include "support/CUtils.h"

namespace {
constexpr size_t kMessageCapacity = 1024;
}

CVantorApplication::CVantorApplication() { CUtils::Instance().SetClientAccess(this); }

CVantorApplication::~CVantorApplication() {
    // At module shut-down the utility object is already gone.
    if (CUtils* utils = CUtils::Existing()) utils->SetClientAccess(nullptr);
}

std::wstring CVantorApplication::Evaluate(const std::wstring& expression) {
    return ClientAnswer::Filtered(m_handler.Prepare(expression.c_str()));
}

long CVantorApplication::CallClient(const std::wstring& command, const std::wstring& arguments) {
    return m_handler.Call(command.c_str(), arguments.c_str(), nullptr);
}

long CVantorApplication::SetClientEnvironment(const std::wstring& name, const std::wstring& value) {
    return CallClient(L"___Environment", name + L"=" + value);
}

std::wstring CVantorApplication::GetClientVariable(const std::wstring& name) {
    return Evaluate(L"$(" + name + L")");
}

std::wstring CVantorApplication::GetUserMessage(const std::wstring& key, bool expand) {
    wchar_t buffer[kMessageCapacity];
    m_handler.GetMessageText(key.c_str(), buffer, kMessageCapacity);
    std::wstring text = buffer;
    if (expand) {
        const auto expanded = m_handler.Prepare(text.c_str());
        if (expanded && !expanded->empty()) text = expanded->substr(0, kMessageCapacity - 1);
    }
    return text;
}
