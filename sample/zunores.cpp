// ZUNORES.DLL: the sample product's resource library. It carries strings only.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
