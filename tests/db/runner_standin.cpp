// A child for the Windows runner's tests: does what its last argument says, or what the file
// it names holds (so that it can stand in for the reader, which is given a file).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

std::string modeOf(const char* arg) {
    if (FILE* f = std::fopen(arg, "rb")) {
        char text[64] = {};
        const size_t n = std::fread(text, 1, sizeof text - 1, f);
        std::fclose(f);
        return std::string(text, n);
    }
    return arg;
}

void say(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fflush(stdout);
}

LONG WINAPI endOnCrash(EXCEPTION_POINTERS* crash) {
    TerminateProcess(GetCurrentProcess(), crash->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

int main(int argc, char** argv) {
    // As lexivane-words does: a crash ends it, with no debugger waiting.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(endOnCrash);
    _setmode(1, _O_BINARY);
    const std::string mode = argc > 1 ? modeOf(argv[argc - 1]) : "";
    say("pid " + std::to_string(GetCurrentProcessId()) + "\n");
    if (mode == "exit3") return 3;
    if (mode == "crash") {
        int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    if (mode == "hang") Sleep(INFINITE);
    if (mode == "burn")
        for (volatile unsigned spin = 0;;)
            spin = spin + 1;
    if (mode == "spew")
        for (const std::string line(4096, 'y');;)
            say(line);
    if (mode == "eat") {
        // As the reader says it when an allocation fails under its limit; a system that does
        // not stop it gets 4 GB and exits with 4.
        std::vector<void*> kept;
        while (kept.size() < 64) {
            void* p = VirtualAlloc(nullptr, 64 << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
            if (!p) {
                std::fprintf(stderr, "lexivane-words: %s: out of memory\n", argv[argc - 1]);
                return 1;
            }
            kept.push_back(p);
        }
        return 4;
    }
    if (mode == "env") {
        for (const char* e = GetEnvironmentStringsA(); *e; e += std::strlen(e) + 1)
            say(std::string(e) + "\n");
        return 0;
    }
    if (mode == "spawn") {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"standin hang";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        const bool made = CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                         nullptr, &si, &pi);
        say(made ? "spawned\n" : "refused\n");
        return 0;
    }
    return 2;
}
