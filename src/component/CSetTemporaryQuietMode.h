#pragma once

// Sets the quiet flag for its lifetime and puts the previous value back afterwards, so
// that an unattended command shows no message box whatever its outcome.
class CSetTemporaryQuietMode {
public:
    CSetTemporaryQuietMode();
    CSetTemporaryQuietMode(const CSetTemporaryQuietMode&) = delete;
    CSetTemporaryQuietMode& operator=(const CSetTemporaryQuietMode&) = delete;
    virtual ~CSetTemporaryQuietMode();

private:
    bool m_previous;
};
