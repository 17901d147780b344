#pragma once

class CRunContext;

// Keeps the Run it belongs to quiet for its lifetime, so that an unattended command shows no
// message box whatever its outcome; afterwards the value in force before is back. Only that
// Run is quiet: another caller's Run meanwhile asks its own questions.
class CSetTemporaryQuietMode {
public:
    CSetTemporaryQuietMode() noexcept;
    CSetTemporaryQuietMode(const CSetTemporaryQuietMode&) = delete;
    CSetTemporaryQuietMode& operator=(const CSetTemporaryQuietMode&) = delete;
    virtual ~CSetTemporaryQuietMode();

private:
    CRunContext* m_run;
    bool m_saved = false;
};
