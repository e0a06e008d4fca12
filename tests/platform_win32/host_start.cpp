// host_start: starts a program the way a host tool on Windows does, with one argument written
// in double quotes on its command line, waits for it and ends with its exit code.
//
//   host_start PROGRAM TEXT      runs: "PROGRAM" "TEXT"
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: host_start PROGRAM TEXT\n", stderr);
        return 1;
    }
    std::string line = std::string("\"") + argv[1] + "\" \"" + argv[2] + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "host_start: cannot start %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
}
