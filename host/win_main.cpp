// The program's conventional graphical entry: the start-up values are not needed, so it only
// hands over to the host.
#include "host/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { HostEntry(); }
