#pragma once

// The project's version, compiled into every executable.
inline constexpr const char* quillonVersion = QUILLON_VERSION;
