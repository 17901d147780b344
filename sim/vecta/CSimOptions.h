#pragma once
#include <string>
#include <vector>

// VectaSim's command line (see README.md).
class CSimOptions {
public:
    enum class Mode { Run, RegServer, UnregServer };

    // Fills the options from argv (without the program name); false with a reason on bad input.
    [[nodiscard]] bool Parse(const std::vector<std::wstring>& args, std::wstring& error);

    Mode mode = Mode::Run;
    std::wstring profile;
    std::wstring release = L"R17";
    std::wstring version;  // empty until Parse: then the release's default when not given
    std::wstring controlFile;
    std::wstring traceFile;
    unsigned idleSeconds = 60;
    unsigned busyMs = 0;
    unsigned startupDrawings = 0;

    // "QELDVecta17Instance" or "QELDVecta16Instance".
    std::wstring InstanceClass() const;
};
