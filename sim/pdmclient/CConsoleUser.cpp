#include "CConsoleUser.h"
#include "TextCodec.h"
#include <istream>
#include <ostream>

void CConsoleUser::Show(const std::wstring& caption, const std::wstring& text) {
    m_out << "[" << TextCodec::ToUtf8(caption) << "] " << TextCodec::ToUtf8(text) << std::endl;
}

bool CConsoleUser::Ask(const std::wstring& caption, const std::wstring& question, bool defaultAnswer) {
    const char* choices = defaultAnswer ? " (Y/n) " : " (y/N) ";
    m_out << "[" << TextCodec::ToUtf8(caption) << "] " << TextCodec::ToUtf8(question) << choices;
    if (!m_attended) {
        m_out << (defaultAnswer ? "y" : "n") << " (unattended)" << std::endl;
        return defaultAnswer;
    }
    m_out.flush();
    std::string line;
    while (std::getline(m_in, line)) {
        const std::wstring answer = TextCodec::Trim(TextCodec::FromUtf8(line));
        if (answer.empty()) return defaultAnswer;
        if (answer[0] == L'y' || answer[0] == L'Y') return true;
        if (answer[0] == L'n' || answer[0] == L'N') return false;
        m_out << "Please answer y or n:" << choices;
        m_out.flush();
    }
    m_out << (defaultAnswer ? "y" : "n") << " (no input)" << std::endl;
    return defaultAnswer;
}

void CConsoleUser::Note(const std::wstring& text) { m_out << "  " << TextCodec::ToUtf8(text) << std::endl; }

void CConsoleUser::Warn(const std::wstring& text) { m_err << "caiclient: " << TextCodec::ToUtf8(text) << std::endl; }
