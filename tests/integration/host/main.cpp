#include <windows.h>
#include <objbase.h>
#include <gmock/gmock.h>

// The component runs on the client's thread, a single-threaded apartment.
int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
