#pragma once
// Whether the command-line tools talk to a person: a terminal (a console on Windows) rather than a
// file or a pipe on standard input or output.
namespace platform {

bool StdinIsTerminal();
bool StdoutIsTerminal();

}  // namespace platform
