// Running a program with redirected streams and a prepared environment.

#include "win32_support.h"  // <windows.h> before the other Windows headers

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>

#include "harness.h"
#include "harness_internal.h"

namespace corvel::e2e {

using detail::fail_last;
using detail::Handle;
using detail::narrow;
using detail::widen;

Arg::Arg(const char* utf8) : units(widen(utf8)) {}
Arg::Arg(const std::string& utf8) : units(widen(utf8)) {}
Arg::Arg(std::string_view utf8) : units(widen(utf8)) {}

Arg Arg::utf16(std::wstring units) {
    Arg arg("");
    arg.units = std::move(units);
    return arg;
}

namespace detail {

std::wstring quote_argument(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        return std::wstring(argument);
    }
    // Backslashes are literal except before a quotation mark, where they escape in pairs.
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t unit : argument) {
        if (unit == L'\\') {
            ++backslashes;
            continue;
        }
        if (unit == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += unit;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

}  // namespace detail

namespace {

bool same_name(std::wstring_view left, std::wstring_view right) {
    return CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

// The inherited environment with the options' removals and additions, as a CreateProcessW block.
std::wstring environment_block(const RunOptions& options) {
    std::vector<std::wstring> entries;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
        entries.emplace_back(entry);
    }
    FreeEnvironmentStringsW(block);

    // "=C:=C:\folder" entries keep the current folder of each drive; their name starts with '='.
    auto name_of = [](const std::wstring& entry) {
        size_t equals = entry.find(L'=', 1);
        return std::wstring_view(entry).substr(0, equals);
    };
    auto drop = [&](std::wstring_view name) {
        std::erase_if(entries,
                      [&](const std::wstring& entry) { return same_name(name_of(entry), name); });
    };
    for (const std::string& name : options.unset_env) {
        drop(widen(name));
    }
    for (const auto& [name, value] : options.set_env) {
        std::wstring wide_name = widen(name);
        drop(wide_name);
        entries.push_back(wide_name + L"=" + widen(value));
    }

    std::wstring result;
    for (const std::wstring& entry : entries) {
        result += entry;
        result += L'\0';
    }
    result += L'\0';
    return result;
}

std::wstring temp_file(std::wstring_view role) {
    static unsigned counter = 0;
    wchar_t folder[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        fail_last("GetTempPathW");
    }
    return std::wstring(folder, length) + L"corvel-e2e-" + std::to_wstring(GetCurrentProcessId()) +
           L"-" + std::to_wstring(++counter) + L"-" + std::wstring(role) + L".bin";
}

Handle open_inheritable(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle file(CreateFileW(path.c_str(), access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                            disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        fail_last("opening " + narrow(path));
    }
    return file;
}

// Every process started, directly or not, by the process `root` (which may have ended). A
// process whose parent has ended is out of reach; the per-test reset catches those.
std::vector<DWORD> descendants_of(DWORD root) {
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) {
        return {};
    }
    std::multimap<DWORD, DWORD> children;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID != entry.th32ParentProcessID) {
            children.emplace(entry.th32ParentProcessID, entry.th32ProcessID);
        }
    }
    std::vector<DWORD> found;
    if (root == 0) {
        return found;  // every process descends from 0
    }
    std::vector<DWORD> pending{root};
    while (!pending.empty()) {
        DWORD parent = pending.back();
        pending.pop_back();
        auto [first, last] = children.equal_range(parent);
        for (auto it = first; it != last; ++it) {
            if (it->second != root && it->second != GetCurrentProcessId() &&
                std::find(found.begin(), found.end(), it->second) == found.end()) {
                found.push_back(it->second);
                pending.push_back(it->second);
            }
        }
    }
    return found;
}

void end_processes(const std::vector<DWORD>& ids) {
    std::vector<Handle> ended;
    for (DWORD id : ids) {
        Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (process.valid() && TerminateProcess(process.get(), 1)) {
            ended.push_back(std::move(process));
        }
    }
    for (const Handle& process : ended) {
        WaitForSingleObject(process.get(), 10000);  // until its files are released
    }
}

std::string read_and_delete(const std::wstring& path) {
    std::optional<std::string> bytes = read_file(narrow(path));
    DeleteFileW(path.c_str());
    return bytes.value_or("");
}

}  // namespace

namespace detail {

void end_programs_under(const std::vector<std::string>& folders) {
    std::vector<std::wstring> prefixes;
    for (const std::string& folder : folders) {
        std::wstring prefix = widen(folder);
        if (!prefix.empty() && prefix.back() != L'\\') {
            prefix += L'\\';
        }
        prefixes.push_back(prefix);
    }
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) {
        return;
    }
    std::vector<DWORD> found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        std::wstring image(32768, L'\0');
        DWORD size = static_cast<DWORD>(image.size());
        if (!process.valid() ||
            !QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) {
            continue;
        }
        image.resize(size);
        for (const std::wstring& prefix : prefixes) {
            if (image.size() > prefix.size() &&
                CompareStringOrdinal(image.data(), static_cast<int>(prefix.size()), prefix.data(),
                                     static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL) {
                found.push_back(entry.th32ProcessID);
                break;
            }
        }
    }
    end_processes(found);
}

}  // namespace detail

struct StartedProgram::State {
    std::string program;
    std::chrono::milliseconds timeout;
    bool measure_memory = false;
    ULONGLONG started_at = 0;
    DWORD id = 0;
    Handle process;
    std::wstring in_path;
    std::wstring out_path;
    std::wstring err_path;
    bool waited = false;
};

StartedProgram::StartedProgram(std::unique_ptr<State> state) : m_state(std::move(state)) {}
StartedProgram::StartedProgram(StartedProgram&&) noexcept = default;

StartedProgram& StartedProgram::operator=(StartedProgram&& other) noexcept {
    if (this != &other) {
        if (m_state && !m_state->waited) {
            wait();
        }
        m_state = std::move(other.m_state);
    }
    return *this;
}

StartedProgram::~StartedProgram() {
    if (m_state && !m_state->waited) {
        wait();
    }
}

RunResult StartedProgram::wait() {
    if (!m_state || m_state->waited) {
        throw HarnessError("wait() called twice");
    }
    State& state = *m_state;
    state.waited = true;
    RunResult result;
    const ULONGLONG elapsed = GetTickCount64() - state.started_at;
    const auto limit = static_cast<ULONGLONG>(state.timeout.count());
    DWORD remaining = static_cast<DWORD>(elapsed >= limit ? 0 : limit - elapsed);
    if (state.measure_memory) {
        // The counters of a process are gone once it has ended: sample them while it runs.
        constexpr DWORD k_sample_ms = 20;
        while (remaining > 0 && WaitForSingleObject(state.process.get(), 0) == WAIT_TIMEOUT) {
            PROCESS_MEMORY_COUNTERS counters{};
            counters.cb = sizeof counters;
            if (GetProcessMemoryInfo(state.process.get(), &counters, sizeof counters)) {
                result.peak_memory = std::max(
                    {result.peak_memory, counters.WorkingSetSize, counters.PeakWorkingSetSize});
            }
            DWORD pause = std::min(remaining, k_sample_ms);
            WaitForSingleObject(state.process.get(), pause);
            remaining -= pause;
        }
    }
    if (WaitForSingleObject(state.process.get(), remaining) != WAIT_OBJECT_0) {
        result.timed_out = true;
        end_processes(descendants_of(state.id));
        TerminateProcess(state.process.get(), 1);
        WaitForSingleObject(state.process.get(), 10000);
    } else {
        // A child left running (a hanging launcher) would keep files of the test folders busy.
        end_processes(descendants_of(state.id));
    }
    DWORD code = 0;
    GetExitCodeProcess(state.process.get(), &code);
    result.status = static_cast<int>(code);
    result.out = read_and_delete(state.out_path);
    result.err = read_and_delete(state.err_path);
    DeleteFileW(state.in_path.c_str());
    return result;
}

StartedProgram start_program(const std::string& program, const std::vector<Arg>& args,
                             const RunOptions& options) {
    const std::wstring wide_program = widen(program);
    std::wstring command_line = L"\"" + wide_program + L"\"";
    for (const Arg& arg : args) {
        command_line += L' ';
        command_line += detail::quote_argument(arg.units);
    }

    auto state = std::make_unique<StartedProgram::State>();
    state->program = program;
    state->timeout = options.timeout;
    state->measure_memory = options.measure_memory;
    state->in_path = temp_file(L"stdin");
    state->out_path = temp_file(L"stdout");
    state->err_path = temp_file(L"stderr");
    {
        Handle in(CreateFileW(state->in_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!in.valid() ||
            !WriteFile(in.get(), options.stdin_bytes.data(),
                       static_cast<DWORD>(options.stdin_bytes.size()), &written, nullptr)) {
            fail_last("writing standard input");
        }
    }

    Handle in = open_inheritable(state->in_path, GENERIC_READ, OPEN_EXISTING);
    Handle out = open_inheritable(state->out_path, GENERIC_WRITE, CREATE_ALWAYS);
    Handle err = open_inheritable(state->err_path, GENERIC_WRITE, CREATE_ALWAYS);
    if (!options.stdout_file.empty()) {
        out = open_inheritable(widen(options.stdout_file), GENERIC_WRITE, OPEN_EXISTING);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = options.merge_streams ? out.get() : err.get();

    std::wstring environment = environment_block(options);
    std::wstring folder =
        widen(options.working_folder.empty() ? test_root() : options.working_folder);
    PROCESS_INFORMATION info{};
    // Now and then Wine fails a process start with ERROR_INTERNAL_ERROR when the new process
    // could not be set up; the same start made again a moment later succeeds.
    constexpr int k_start_attempts = 3;
    for (int attempt = 1;; ++attempt) {
        state->started_at = GetTickCount64();
        if (CreateProcessW(wide_program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                           CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(),
                           folder.c_str(), &startup, &info)) {
            break;
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == k_start_attempts) {
            fail_last("starting " + program);
        }
        Sleep(100);
    }
    if (info.hThread != nullptr) {
        CloseHandle(info.hThread);
    }
    if (info.hProcess == nullptr || info.dwProcessId == 0) {
        // Wine starts a Linux program outside the Windows process table: nothing to wait for.
        throw HarnessError(program + " is no Windows program; start_linux_program runs those");
    }
    state->process = Handle(info.hProcess);
    state->id = info.dwProcessId;
    return StartedProgram(std::move(state));
}

namespace detail {

void start_linux_program(const std::string& program, const std::vector<Arg>& args) {
    std::wstring command_line = quote_argument(widen(program));
    for (const Arg& arg : args) {
        command_line += L' ';
        command_line += quote_argument(arg.units);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(widen(program).c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        fail_last("starting " + program);
    }
    if (info.hThread != nullptr) {
        CloseHandle(info.hThread);
    }
    if (info.hProcess != nullptr) {
        WaitForSingleObject(info.hProcess, 60000);
        CloseHandle(info.hProcess);
    }
}

}  // namespace detail

StartedProgram start_corvel(const std::vector<Arg>& args, const RunOptions& options) {
    return start_program(corvel_exe(), args, options);
}

RunResult run_program(const std::string& program, const std::vector<Arg>& args,
                      const RunOptions& options) {
    return start_program(program, args, options).wait();
}

RunResult run_corvel(const std::vector<Arg>& args, const RunOptions& options) {
    return run_program(corvel_exe(), args, options);
}

std::string inherited_path() {
    DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(L"PATH", value.data(), size));
    return narrow(value);
}

}  // namespace corvel::e2e
