// The cost of one cross-process call to VectaSim and of one instance-moniker bind, each also
// as a multiple of an in-process interface call measured in the same run.
#include "BenchClock.h"
#include "CBaselineState.h"
#include "CSimProcess.h"
#include <cstdio>
#include <string>

namespace {

int Run() {
    if (FAILED(CSimProcess::RegisterAll())) {
        std::fprintf(stderr, "registration failed\n");
        return 1;
    }
    const std::wstring profile = L"Bench-" + std::to_wstring(GetCurrentProcessId());
    CSimProcess sim;
    if (FAILED(sim.Start(profile, L"R17"))) {
        std::fprintf(stderr, "VectaSim did not start\n");
        return 1;
    }
    ComPtr<IVectaState> remote;
    if (FAILED(sim.App()->get_State(remote.put()))) return 1;
    IVectaState* local = CBaselineState::Instance();
    VARIANT_BOOL idle = VARIANT_FALSE;

    const double inProcess = BenchClock::Measure(1000000, [&] { return local->get_IsIdle(&idle); });
    const double crossProcess = BenchClock::Measure(2000, [&] { return remote->get_IsIdle(&idle); });
    const double bind = BenchClock::Measure(300, [&] {
        ComPtr<IVectaApplication> app;
        return CSimProcess::Bind(L"QELDVecta17Instance", profile, app.put());
    });
    if (inProcess <= 0 || crossProcess < 0 || bind < 0) {
        std::fprintf(stderr, "a measured call failed\n");
        return 1;
    }
    std::printf("in-process call (baseline):   %10.4f us\n", inProcess);
    std::printf("cross-process call:           %10.1f us  (%.0fx baseline)\n", crossProcess, crossProcess / inProcess);
    std::printf("moniker parse + bind:         %10.1f us  (%.0fx baseline, %.1fx a cross-process call)\n", bind,
                bind / inProcess, bind / crossProcess);
    return 0;
}

}  // namespace

int main() { return BenchClock::RunInApartment(Run); }
