#pragma once
#include <windows.h>
#include <objbase.h>

// What every benchmark program shares: the clock, a timed loop and the program frame.
namespace BenchClock {

inline double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Microseconds per repetition of body; a failing body stops the measurement with -1.
template <class Body>
double Measure(int repetitions, Body&& body) {
    const double start = Now();
    for (int i = 0; i < repetitions; ++i)
        if (FAILED(body())) return -1.0;
    return (Now() - start) * 1e6 / repetitions;
}

// Runs the measurement in a single-threaded apartment, as the PDM client calls; its exit
// code is the program's, 2 without an apartment, and nothing raised escapes.
template <class Bench>
int RunInApartment(Bench&& bench) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    int code = 1;
    try {
        code = bench();
    } catch (...) {
        code = 1;
    }
    CoUninitialize();
    return code;
}

}  // namespace BenchClock
