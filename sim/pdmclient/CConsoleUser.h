#pragma once
#include <iosfwd>
#include <string>

// The person at the client: messages go to the console under a caption; questions are asked
// with y/n when the client runs attended and take their default answer otherwise (job server,
// --unattended, or no more input).
class CConsoleUser {
public:
    CConsoleUser(std::istream& in, std::ostream& out, std::ostream& err) noexcept : m_in(in), m_out(out), m_err(err) {}

    void SetAttended(bool attended) noexcept { m_attended = attended; }
    bool IsAttended() const noexcept { return m_attended; }

    void Show(const std::wstring& caption, const std::wstring& text);
    bool Ask(const std::wstring& caption, const std::wstring& question, bool defaultAnswer);
    // Progress of the client itself (started programs, written files).
    void Note(const std::wstring& text);
    void Warn(const std::wstring& text);

private:
    std::istream& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_attended = true;
};
