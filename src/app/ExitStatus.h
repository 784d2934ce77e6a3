#pragma once

// Exit status of the program: 0 after Exit or the close box; 2 when the database could not be
// reached at start-up (the warning was shown and no window opened); 3 when the print-log folder
// could not be made (the reason was shown). Started with "--kiosk" the station waits and tries
// again instead of ending with 2. Without a window: 1 when "--check" found a fault, 64 for
// arguments it does not know. A kiosk start restarts the station after 2 and 3 and after a crash,
// not after 0 (someone chose Exit).
inline constexpr int exitNormal = 0;
inline constexpr int exitCheckFailed = 1;
inline constexpr int exitNoDatabase = 2;
inline constexpr int exitNoPrintLog = 3;
inline constexpr int exitUsage = 64;
