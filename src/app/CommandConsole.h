#pragma once

// The station's commands (--check, --help, --history) answer on the standard output of whoever
// started them. On Windows quillon.exe is a windowed program, so that no console window stands
// beside the station (closing it would end the station): there a command takes its caller's
// console, unless its output was sent to a file or a pipe. Elsewhere this does nothing.
void attachCallersConsole();
