#include <windows.h>

#include "platform/Console.h"

namespace platform {
namespace {

bool IsCharacterDevice(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR;
}

}  // namespace

bool StdinIsTerminal() { return IsCharacterDevice(STD_INPUT_HANDLE); }
bool StdoutIsTerminal() { return IsCharacterDevice(STD_OUTPUT_HANDLE); }

}  // namespace platform
