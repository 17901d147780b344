#pragma once

// Keeps the component quiet for its lifetime, so that an unattended command shows no message
// box whatever its outcome; afterwards the flag in force before is in force again. Guards of
// Runs on several threads may overlap and end in any order.
class CSetTemporaryQuietMode {
public:
    CSetTemporaryQuietMode();
    CSetTemporaryQuietMode(const CSetTemporaryQuietMode&) = delete;
    CSetTemporaryQuietMode& operator=(const CSetTemporaryQuietMode&) = delete;
    virtual ~CSetTemporaryQuietMode();
};
