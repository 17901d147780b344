#pragma once
#include <objbase.h>

// Lets COM calls into the calling thread's apartment in until done answers true or the time
// has passed; true when done did.
template <class Done>
bool PumpUntil(Done done, DWORD milliseconds) {
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const DWORD begin = GetTickCount();
    bool finished = done();
    while (!finished && GetTickCount() - begin < milliseconds) {
        DWORD index = 0;
        (void)CoWaitForMultipleHandles(0, 20, 1, &never, &index);
        finished = done();
    }
    CloseHandle(never);
    return finished;
}
