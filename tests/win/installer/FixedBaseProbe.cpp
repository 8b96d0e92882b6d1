// Ends at once. Linked like the setup stub, without relocations at the
// stub's base, it starts only where a program may load at that address.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
