// The smallest Windows program: the cost of starting and ending a process,
// against which the notifier's increment path is measured.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
