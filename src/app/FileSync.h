#pragma once

class QFile;

// Pushes what was written to an open file through the system's caches onto the disk, so that a
// power cut right after the call cannot lose it. Returns false when the system refuses.
bool syncToDisk(QFile& file);
