#pragma once
#include "support/ApartmentWait.h"
#include <objbase.h>

// Lets COM calls into the calling thread's apartment in until done answers true or the time
// has passed; true when done did.
template <class Done>
bool PumpUntil(Done done, DWORD milliseconds) {
    const DWORD begin = GetTickCount();
    bool finished = done();
    while (!finished && GetTickCount() - begin < milliseconds) {
        SleepServingCalls(20);
        finished = done();
    }
    return finished;
}
