#include "app/CommandConsole.h"

void attachCallersConsole() {}
