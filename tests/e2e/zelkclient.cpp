// zelkclient: stands in for the running game client in the end-to-end tests. It only has to
// appear in the process list under its executable name, so it waits until it is killed or the
// given number of seconds (default 300) has passed.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR cmdLine, int)
{
    int seconds = cmdLine && *cmdLine ? _wtoi(cmdLine) : 300;
    if (seconds <= 0)
        seconds = 300;
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}
