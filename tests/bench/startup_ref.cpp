// The reference for the start-up figures: a window-subsystem program that loads the DLLs named
// on its command line (those the program imports) and ends with exit code 4, as a program
// without firmware does. What it costs is what any such program costs under the same loader.
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    for (int i = 1; i < __argc; ++i)
        if (!LoadLibraryA(__argv[i])) return 1;
    return 4;
}
