// Children on Windows, where there is no fork: each child is this program
// run again with the same command line, told by the environment which one
// piece of work is its own, and it hands its result back on its standard
// output.
#include <windows.h>

#include <cstdlib>

#include "commands/batch.h"
#include "host_error.h"

namespace mthost {
namespace {

constexpr const wchar_t *ITEM_VARIABLE = L"MICROTUNE_BATCH_ITEM";
// Room for any result, so that a child never waits for its parent to read.
constexpr DWORD PIPE_BYTES = 1u << 20;

HANDLE HandleOf(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

void RunBatchChildHere(const std::function<BatchResult(size_t)> &work) {
    wchar_t value[32];
    const DWORD n = GetEnvironmentVariableW(ITEM_VARIABLE, value, 32);
    if (n == 0 || n >= 32) return;
    const long item = std::wcstol(value, nullptr, 10);
    if (item < 0) return;
    const std::string data = RunBatchChild(static_cast<size_t>(item), work);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), data.data(), static_cast<DWORD>(data.size()),
              &written, nullptr);
    // No destructors or exit handlers run for a result already handed back.
    ExitProcess(0);
}

int MostBatchWorkers() { return MAXIMUM_WAIT_OBJECTS; }

BatchWorker StartBatchWorker(size_t index, const std::function<BatchResult(size_t)> &,
                             const std::map<size_t, BatchWorker> &) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, PIPE_BYTES))
        throw HostError("cannot start: no pipe (error " + std::to_string(GetLastError()) + ")");
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::vector<wchar_t> commandLine(GetCommandLineW(),
                                     GetCommandLineW() + wcslen(GetCommandLineW()) + 1);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    SetEnvironmentVariableW(ITEM_VARIABLE, std::to_wstring(index).c_str());
    const BOOL ok = CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                   nullptr, &startup, &started);
    const DWORD error = GetLastError();
    SetEnvironmentVariableW(ITEM_VARIABLE, nullptr);
    CloseHandle(write);
    if (!ok) {
        CloseHandle(read);
        throw HostError("cannot start a process (error " + std::to_string(error) + ")");
    }
    CloseHandle(started.hThread);
    BatchWorker worker;
    worker.process = reinterpret_cast<std::intptr_t>(started.hProcess);
    worker.output = reinterpret_cast<std::intptr_t>(read);
    return worker;
}

// One child at a time: the pipe holds all it hands back until it is read.
std::vector<size_t> WaitForBatchWorkers(std::map<size_t, BatchWorker> &running) {
    std::vector<HANDLE> processes;
    std::vector<size_t> indices;
    for (const auto &r : running) {
        processes.push_back(HandleOf(r.second.process));
        indices.push_back(r.first);
    }
    const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(processes.size()),
                                               processes.data(), FALSE, INFINITE);
    if (woken >= WAIT_OBJECT_0 + processes.size())
        throw HostError("cannot wait (error " + std::to_string(GetLastError()) + ")");
    return {indices[woken - WAIT_OBJECT_0]};
}

std::string FinishBatchWorker(BatchWorker &worker) {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(HandleOf(worker.output), buffer, sizeof buffer, &n, nullptr) && n > 0)
        worker.data.append(buffer, n);
    DWORD status = 0;
    GetExitCodeProcess(HandleOf(worker.process), &status);
    CloseHandle(HandleOf(worker.output));
    CloseHandle(HandleOf(worker.process));
    return " (exit status " + std::to_string(status) + ")";
}

}  // namespace mthost
