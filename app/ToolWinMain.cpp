// Entry point of the Windows tool: the tool's windows on the Win32 backend.
#include "app/ToolMain.h"
#include "ui/win32/Win32Backend.h"

int main() { return tool::RunTool(ui::win32::CreateWin32Backend()); }
