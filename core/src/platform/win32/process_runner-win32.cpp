#include "platform/win32/win32_seams.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/command_line.h"

namespace corvel::win32 {

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD k_read_chunk = 1 << 16;
// After the child has ended, its output is already in the pipes; a grandchild that inherited
// them may keep them open forever, so stop once they stay quiet this long...
constexpr std::chrono::milliseconds k_quiet_after_exit{250};
// ...or, whatever happens, this long after the child ended.
constexpr std::chrono::milliseconds k_drain_after_exit{3000};

// One captured output stream: the read end is an overlapped named pipe so that both streams
// and the child's end can be waited for together, without threads.
class OutputPipe {
public:
    OutputPipe() : m_buffer(k_read_chunk) {}
    ~OutputPipe() {
        cancel();
    }
    OutputPipe(const OutputPipe&) = delete;
    OutputPipe& operator=(const OutputPipe&) = delete;

    // Creates the pipe; the write end is inheritable and meant for the child.
    bool open() {
        static std::atomic<unsigned> counter{0};
        LARGE_INTEGER ticks{};
        QueryPerformanceCounter(&ticks);
        std::wstring name = L"\\\\.\\pipe\\corvel-" + std::to_wstring(GetCurrentProcessId()) +
                            L"-" + std::to_wstring(counter++) + L"-" +
                            std::to_wstring(ticks.QuadPart);
        // A single instance, created first by us: nobody else can own or join it.
        m_read.reset(CreateNamedPipeW(
            name.c_str(),
            PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
            k_read_chunk, 0, nullptr));
        if (!m_read.valid()) {
            return false;
        }
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        m_write.reset(CreateFileW(name.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0,
                                  &inheritable, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        m_event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        return m_write.valid() && m_event.valid();
    }

    HANDLE write_end() const {
        return m_write.get();
    }
    // Drops the parent's copy of the write end, so that the pipe ends with the child.
    void close_write_end() {
        m_write.reset();
    }
    HANDLE event() const {
        return m_event.get();
    }
    bool pending() const {
        return m_pending;
    }
    bool ended() const {
        return m_ended;
    }
    std::string take_data() {
        return std::move(m_data);
    }

    // Starts the next read unless one is under way or the stream has ended.
    void start_read() {
        if (m_pending || m_ended) {
            return;
        }
        m_overlapped = OVERLAPPED{};
        m_overlapped.hEvent = m_event.get();
        // A read that completes at once still signals the event; it is collected like any other.
        if (ReadFile(m_read.get(), m_buffer.data(), k_read_chunk, nullptr, &m_overlapped) ||
            GetLastError() == ERROR_IO_PENDING) {
            m_pending = true;
        } else {
            m_ended = true;  // ERROR_BROKEN_PIPE: every writer has closed its end
        }
    }

    // Collects a read whose event fired; returns whether bytes arrived.
    bool finish_read() {
        DWORD count = 0;
        if (GetOverlappedResult(m_read.get(), &m_overlapped, &count, FALSE)) {
            m_pending = false;
            // Past the limit the bytes are still read, so that the child never blocks on a
            // full pipe, but dropped.
            m_data.append(m_buffer.data(),
                          std::min<std::size_t>(count, k_captured_stream_limit - m_data.size()));
            return count > 0;
        }
        if (GetLastError() == ERROR_IO_INCOMPLETE) {
            return false;
        }
        m_pending = false;
        m_ended = true;
        return false;
    }

    // Stops a read under way; the buffer must outlive it, so wait until it has stopped.
    void cancel() {
        if (m_pending) {
            CancelIoEx(m_read.get(), &m_overlapped);
            DWORD count = 0;
            GetOverlappedResult(m_read.get(), &m_overlapped, &count, TRUE);
            m_pending = false;
        }
        m_ended = true;
    }

private:
    UniqueHandle m_read;
    UniqueHandle m_write;
    UniqueHandle m_event;
    OVERLAPPED m_overlapped{};
    std::vector<char> m_buffer;
    std::string m_data;
    bool m_pending = false;
    bool m_ended = false;
};

// PROC_THREAD_ATTRIBUTE_HANDLE_LIST: the child inherits exactly these handles, whatever else
// of this process happens to be inheritable.
class InheritedHandles {
public:
    explicit InheritedHandles(std::vector<HANDLE> handles) : m_handles(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            return;
        }
        m_list = list;
        if (!UpdateProcThreadAttribute(m_list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                       m_handles.data(), m_handles.size() * sizeof(HANDLE), nullptr,
                                       nullptr)) {
            DeleteProcThreadAttributeList(m_list);
            m_list = nullptr;
        }
    }
    ~InheritedHandles() {
        if (m_list != nullptr) {
            DeleteProcThreadAttributeList(m_list);
        }
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;

    // Nothing when the system could not build the list; the handles are then inherited along
    // with any other inheritable handle.
    LPPROC_THREAD_ATTRIBUTE_LIST get() const {
        return m_list;
    }

private:
    std::vector<HANDLE> m_handles;
    std::vector<unsigned char> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

bool can_be_passed(std::string_view program, std::span<const std::string> arguments) {
    // The program name is quoted verbatim, so a quotation mark in it would change the command
    // line's meaning; a NUL would cut the command line short.
    if (program.empty() || program.find_first_of(std::string_view("\"\0", 2)) != program.npos) {
        return false;
    }
    return std::none_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return argument.find('\0') != std::string::npos;
    });
}

DWORD milliseconds_until(Clock::time_point moment) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(moment - Clock::now()).count();
    return static_cast<DWORD>(std::clamp<long long>(left, 0, INFINITE - 1));
}

}  // namespace

std::optional<CapturedOutput> Win32ProcessRunner::run_captured(
    std::string_view program, std::span<const std::string> arguments,
    std::chrono::milliseconds time_limit) {
    if (!can_be_passed(program, arguments)) {
        return std::nullopt;
    }
    OutputPipe output;
    OutputPipe error;
    if (!output.open() || !error.open()) {
        return std::nullopt;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle null_input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inheritable, OPEN_EXISTING, 0, nullptr));
    if (!null_input.valid()) {
        return std::nullopt;
    }

    InheritedHandles inherited({null_input.get(), output.write_end(), error.write_end()});
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = null_input.get();
    startup.StartupInfo.hStdOutput = output.write_end();
    startup.StartupInfo.hStdError = error.write_end();
    startup.lpAttributeList = inherited.get();
    DWORD flags = CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT;
    if (inherited.get() != nullptr) {
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }

    std::wstring command_line = to_wide(build_command_line(program, arguments));
    // A path is started as it is; a bare name goes through the usual program search.
    std::wstring application = to_wide(program);
    bool is_path = program.find_first_of("\\/:") != std::string_view::npos;
    PROCESS_INFORMATION started{};
    Clock::time_point start = Clock::now();
    if (!CreateProcessW(is_path ? application.c_str() : nullptr, command_line.data(), nullptr,
                        nullptr, TRUE, flags, nullptr, nullptr, &startup.StartupInfo, &started)) {
        return std::nullopt;
    }
    UniqueHandle process(started.hProcess);
    CloseHandle(started.hThread);
    output.close_write_end();
    error.close_write_end();
    null_input.reset();

    std::optional<Clock::time_point> deadline;
    if (time_limit < std::chrono::hours(24 * 365)) {
        deadline = start + std::max(time_limit, std::chrono::milliseconds(0));
    }
    std::optional<Clock::time_point> exited_at;
    Clock::time_point last_data = start;
    OutputPipe* pipes[2] = {&output, &error};
    auto give_up = [&] {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 1000);
        return std::nullopt;  // the pipes cancel their reads on destruction
    };

    while (true) {
        for (OutputPipe* pipe : pipes) {
            pipe->start_read();
        }
        if (exited_at && output.ended() && error.ended()) {
            break;
        }
        // The child's end comes first so that a stream that never pauses cannot hide it.
        HANDLE waits[3];
        OutputPipe* owners[3] = {nullptr, nullptr, nullptr};
        DWORD count = 0;
        if (!exited_at) {
            waits[count++] = process.get();
        }
        for (OutputPipe* pipe : pipes) {
            if (pipe->pending()) {
                owners[count] = pipe;
                waits[count++] = pipe->event();
            }
        }
        DWORD timeout = INFINITE;
        if (exited_at) {
            Clock::time_point stop =
                std::min(last_data + k_quiet_after_exit, *exited_at + k_drain_after_exit);
            timeout = milliseconds_until(stop);
        } else if (deadline) {
            timeout = milliseconds_until(*deadline);
        }
        DWORD woke = WaitForMultipleObjects(count, waits, FALSE, timeout);
        if (woke == WAIT_TIMEOUT) {
            if (exited_at) {
                break;  // a grandchild holds the pipes open; keep what the child wrote
            }
            return give_up();
        }
        if (woke >= WAIT_OBJECT_0 + count) {
            return give_up();  // the wait itself failed
        }
        DWORD index = woke - WAIT_OBJECT_0;
        if (owners[index] == nullptr) {
            exited_at = Clock::now();
            last_data = *exited_at;
        } else if (owners[index]->finish_read()) {
            last_data = Clock::now();
        }
        if (!exited_at && deadline && Clock::now() >= *deadline &&
            WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
            return give_up();
        }
    }
    for (OutputPipe* pipe : pipes) {
        pipe->cancel();
    }

    DWORD exit_code = 0;
    if (!GetExitCodeProcess(process.get(), &exit_code)) {
        return std::nullopt;
    }
    return CapturedOutput{exit_code, output.take_data(), error.take_data()};
}

}  // namespace corvel::win32
