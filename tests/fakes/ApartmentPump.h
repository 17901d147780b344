#pragma once
#include "support/ApartmentWait.h"
#include <objbase.h>

// Lets COM calls into the calling thread's apartment in until done answers true or the time
// has passed; true when done did.
template <class Done>
bool PumpUntil(Done done, DWORD milliseconds) {
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const DWORD begin = GetTickCount();
    bool finished = done();
    while (!finished && GetTickCount() - begin < milliseconds) {
        (void)WaitServingCalls(never, 20);
        finished = done();
    }
    CloseHandle(never);
    return finished;
}
