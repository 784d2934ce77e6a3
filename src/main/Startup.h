#pragma once

#include "app/ExitStatus.h"

class DbConnection;
class Messages;

// The program's entry: opens the one database connection from the stored settings and runs the
// station window until it ends the program; or warns and returns exitNoDatabase.
int Main(DbConnection& connection, Messages& messages);
