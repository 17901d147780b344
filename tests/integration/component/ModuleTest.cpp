#include <gtest/gtest.h>
#include <windows.h>

TEST(Probe, Register) {
    HMODULE m = LoadLibraryW(L"Z:" COMPONENT_DLL);
    ASSERT_NE(m, nullptr) << GetLastError();
    auto reg = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(m, "DllRegisterServer")));
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg(), S_OK);
}
