#pragma once

#include "app/ExitStatus.h"

class DbConnection;
class Messages;

// How the station was started: by a person, or by the kiosk entry ("quillon --kiosk"), where no
// one may be there to answer a box.
enum class StartMode { Attended, Kiosk };

// The program's entry: opens the one database connection from the stored settings and runs the
// station window until it ends the program. Attended, a fault is warned of in a box and ends the
// program (exitNoDatabase); in a kiosk, the start-up waits in a window and tries again by itself
// until it succeeds or someone chooses Exit (exitNormal).
int Main(DbConnection& connection, Messages& messages, StartMode mode = StartMode::Attended);
