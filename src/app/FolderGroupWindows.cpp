#include "app/FolderGroup.h"

// A new file takes its folder's access list on NTFS (and on a share): whoever may write in the
// folder may write the file. There is nothing to widen.
void shareWithFolderGroup(QFile&, const QString&) {}
