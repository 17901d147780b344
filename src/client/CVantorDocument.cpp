#include "CVantorDocument.h"
#include "ClientAnswer.h"

std::wstring CVantorDocument::Evaluate(const std::wstring& expression) const {
    return ClientAnswer::Filtered(m_handler.Prepare(expression.c_str()));
}
