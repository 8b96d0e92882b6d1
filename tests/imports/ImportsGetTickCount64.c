/* Imports an API that Windows XP lacks; the import check must refuse it. */
#include <windows.h>

int main(void) { return (int)(GetTickCount64() & 1); }
