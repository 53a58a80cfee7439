// wineKeeper.exe: held open by the Windows tests for their whole run. A
// Windows process with a hidden window keeps Wine's server and its desktop
// process alive between the game's launches; started anew for each launch
// they fail now and then ("The explorer process failed to start", no pixel
// format). Ends when Wine's server is stopped.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "wineKeeper";
    RegisterClassA(&windowClass);
    CreateWindowA("wineKeeper", "wineKeeper", WS_OVERLAPPEDWINDOW, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
