// Several files on Windows, where there is no fork: each child is this
// program run again with the same command line, told by the environment
// which one piece of work is its own, and it hands its result back on its
// standard output.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "commands/batch.h"
#include "host_error.h"

namespace mthost {
namespace {

constexpr const wchar_t *ITEM_VARIABLE = L"MICROTUNE_BATCH_ITEM";
// Room for any result, so that a child never waits for its parent to read.
constexpr DWORD PIPE_BYTES = 1u << 20;

// This process's piece of work when it is a child, or -1.
long ChildItem() {
    wchar_t value[32];
    const DWORD n = GetEnvironmentVariableW(ITEM_VARIABLE, value, 32);
    if (n == 0 || n >= 32) return -1;
    return std::wcstol(value, nullptr, 10);
}

[[noreturn]] void RunChild(size_t index, const std::function<BatchResult(size_t)> &work) {
    const BatchResult result = RunBatchWork(index, work);
    std::fflush(stdout);
    std::fflush(stderr);
    const std::string data = EncodeBatchResult(result);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), data.data(), static_cast<DWORD>(data.size()),
              &written, nullptr);
    // No destructors or exit handlers run for a result already handed back.
    ExitProcess(0);
}

struct Child {
    HANDLE process = nullptr;
    HANDLE output = nullptr;  // the read end of its standard output
};

Child Start(size_t index) {
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
    return Child{started.hProcess, read};
}

BatchResult Finish(const Child &child) {
    std::string data;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(child.output, buffer, sizeof buffer, &n, nullptr) && n > 0)
        data.append(buffer, n);
    DWORD status = 0;
    GetExitCodeProcess(child.process, &status);
    CloseHandle(child.output);
    CloseHandle(child.process);
    BatchResult result;
    if (DecodeBatchResult(data, &result)) return result;
    return BatchResult{
        false, 0,
        "the process retuning it ended unexpectedly (exit status " + std::to_string(status) + ")"};
}

}  // namespace

void RunBatch(size_t count, int jobs, const std::function<BatchResult(size_t)> &work,
              const std::function<void(size_t, const BatchResult &)> &report) {
    const long item = ChildItem();
    if (item >= 0) RunChild(static_cast<size_t>(item), work);
    if (jobs < 1) jobs = 1;
    if (jobs > MAXIMUM_WAIT_OBJECTS) jobs = MAXIMUM_WAIT_OBJECTS;
    std::map<size_t, Child> running;
    std::map<size_t, BatchResult> finished;
    size_t next = 0, reported = 0;
    std::fflush(stdout);
    std::fflush(stderr);
    while (reported < count) {
        while (next < count && running.size() < static_cast<size_t>(jobs)) {
            running[next] = Start(next);
            ++next;
        }
        std::vector<HANDLE> processes;
        std::vector<size_t> indices;
        for (const auto &r : running) {
            processes.push_back(r.second.process);
            indices.push_back(r.first);
        }
        const DWORD woken = WaitForMultipleObjects(static_cast<DWORD>(processes.size()),
                                                   processes.data(), FALSE, INFINITE);
        if (woken >= WAIT_OBJECT_0 + processes.size())
            throw HostError("cannot wait (error " + std::to_string(GetLastError()) + ")");
        const size_t index = indices[woken - WAIT_OBJECT_0];
        finished[index] = Finish(running[index]);
        running.erase(index);
        // Reported in the order given, whatever order they finish in.
        for (auto it = finished.find(reported); it != finished.end();
             it = finished.find(reported)) {
            report(reported, it->second);
            finished.erase(it);
            ++reported;
        }
    }
}

}  // namespace mthost
