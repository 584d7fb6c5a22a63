/* Keeps the prefix's desktop alive while the benchmark runs, as a Windows session always has
 * one. Without it, the first program that broadcasts a window message (corvel use) starts Wine's
 * explorer.exe and waits for it, and the desktop shuts down again soon after. */
#include <windows.h>

int main(void) {
    GetDesktopWindow();
    Sleep(INFINITE);
    return 0;
}
