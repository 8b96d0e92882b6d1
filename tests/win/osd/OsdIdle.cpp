// A program that starts, looks for a window as a Vistrel copy does, and
// ends: the benchmark's measure of what process creation alone costs.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    FindWindowA(nullptr, "08045BD6-D714-43d7-BBD8-6E92B3CEA428");
    return 0;
}
