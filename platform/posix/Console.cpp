#include "platform/Console.h"

#include <unistd.h>

namespace platform {

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace platform
