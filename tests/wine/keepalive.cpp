// Keeps one Wine process alive for the length of a test run, so that each test program
// starts in a warm prefix. Ended by the bench's wineserver -k.
#include <windows.h>

int main() {
    Sleep(INFINITE);
    return 0;
}
