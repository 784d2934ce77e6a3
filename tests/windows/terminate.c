/* Ends every process of an image name with the given status, as a crash ends it on Windows
   (Wine's own taskkill /f ends it with status 0, which reads as a chosen Exit).
   Usage: terminate.exe <image name> <status> */
#include <windows.h>

#include <stdlib.h>
#include <string.h>
#include <tlhelp32.h>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {sizeof entry};
    int ended = 0;
    for (BOOL more = Process32First(all, &entry); more; more = Process32Next(all, &entry)) {
        if (_stricmp(entry.szExeFile, argv[1]) != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
        ended += process && TerminateProcess(process, (UINT)strtoul(argv[2], NULL, 0));
    }
    return ended ? 0 : 1;
}
