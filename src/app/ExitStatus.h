#pragma once

// Exit status of the program: 0 after Exit or the close box; 2 when the database could not be
// reached at start-up (the warning was shown and no window opened); 3 when the print-log folder
// could not be made (the reason was shown).
inline constexpr int exitNormal = 0;
inline constexpr int exitNoDatabase = 2;
inline constexpr int exitNoPrintLog = 3;
