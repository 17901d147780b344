#include "CVantorDocument.h"
#include "ClientAnswer.h"

std::wstring CVantorDocument::Evaluate(const std::wstring& expression) const {
    return ClientAnswer::Filtered(m_handler.Prepare(expression.c_str()));
}

std::wstring CVantorDocument::GetQelkey() const { return Evaluate(L"#(QELKEY)"); }

std::wstring CVantorDocument::GetFileType() const { return Evaluate(L"#(FILE_TYPE)"); }

std::wstring CVantorDocument::GetContainerKey() const { return Evaluate(L"#(DTY:CONTAINERKEY)"); }

std::wstring CVantorDocument::GetContainerFileType() const {
    return Evaluate(L"@(where \"QELKEY = #(DTY:CONTAINERKEY)\" #(FILE_TYPE))");
}

std::wstring CVantorDocument::GetCreateLocalDrawing() const { return Evaluate(L"#(DTY:CreateLocalDrawing)"); }

std::wstring CVantorDocument::GetTemplate0() const { return Evaluate(L"#(DTY:Template0)"); }

std::wstring CVantorDocument::GetQNewTemplate() const { return Evaluate(L"#(DTY:QNewTemplate)"); }

std::wstring CVantorDocument::GetContainerAutoPsx() const { return Evaluate(L"#(DTY:ContainerAutoPSX)"); }

std::wstring CVantorDocument::GetQelkeyFromPath(const std::wstring& path) const {
    return ClientAnswer::Raw(m_handler.Prepare((L"@(QELKEYfromPath \"" + path + L"\")").c_str()));
}
