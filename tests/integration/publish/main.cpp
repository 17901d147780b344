#include <windows.h>
#include <objbase.h>
#include <gmock/gmock.h>

// The tests reach the simulators they leave behind through COM, from a single-threaded
// apartment as the PDM client does.
int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
