// Entry point of the Windows restore program: its window on the Win32 backend.
#include "stub/StubMain.h"
#include "ui/win32/Win32Backend.h"

int main() { return restore::RunStub(ui::win32::CreateWin32Backend()); }
