// A child program for the process-runner tests. The first argument picks what it does:
//   echo ...          writes every argv entry (argv[0] included) as UTF-8, each followed by NUL
//   flood <bytes>     writes <bytes> to standard output and to standard error, interleaved
//   exit <code>       writes "out <code>" and "err <code>", then exits with <code>
//   stdin             reads standard input to its end and writes how many bytes came
//   handle <value>    writes "open" or "closed": whether that handle value exists here
//   hang              sleeps forever
//   spawn-hang        starts "hang" sharing its output pipes, writes its id, and exits

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/win32/win32.h"

namespace {

void write_all(HANDLE handle, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr)) {
            std::exit(90);
        }
        data += written;
        size -= written;
    }
}

void write_text(HANDLE handle, const std::string& text) {
    write_all(handle, text.data(), text.size());
}

std::string to_utf8(const wchar_t* text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), length, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

// Byte `index` of the stream that `seed` names; the test computes the same pattern.
char pattern(std::size_t index, int seed) {
    return static_cast<char>((index * 31 + static_cast<std::size_t>(seed) + index / 4093) % 251);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring mode = argc > 1 ? argv[1] : L"";

    if (mode == L"echo") {
        for (int i = 0; i < argc; ++i) {
            std::string text = to_utf8(argv[i]);
            text.push_back('\0');
            write_text(out, text);
        }
        return 0;
    }
    if (mode == L"flood" && argc > 2) {
        std::size_t total = std::wcstoul(argv[2], nullptr, 10);
        std::string chunk;
        for (std::size_t done = 0; done < total;) {
            // Uneven chunk sizes so that the two streams fill at different moments.
            std::size_t size = std::min<std::size_t>(total - done, 3000 + done % 7000);
            for (int seed : {1, 2}) {
                chunk.clear();
                for (std::size_t i = done; i < done + size; ++i) {
                    chunk.push_back(pattern(i, seed));
                }
                write_text(seed == 1 ? out : err, chunk);
            }
            done += size;
        }
        return 0;
    }
    if (mode == L"exit" && argc > 2) {
        unsigned long code = std::wcstoul(argv[2], nullptr, 10);
        write_text(out, "out " + std::to_string(code));
        write_text(err, "err " + std::to_string(code));
        return static_cast<int>(code);
    }
    if (mode == L"stdin") {
        HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        char buffer[4096];
        std::size_t total = 0;
        DWORD read = 0;
        while (ReadFile(in, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            total += read;
        }
        write_text(out, std::to_string(total));
        return 0;
    }
    if (mode == L"handle" && argc > 2) {
        auto value = static_cast<std::uintptr_t>(std::wcstoull(argv[2], nullptr, 10));
        DWORD flags = 0;
        bool open = GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags);
        write_text(out, open ? "open" : "closed");
        return 0;
    }
    if (mode == L"hang") {
        Sleep(INFINITE);
        return 0;
    }
    if (mode == L"spawn-hang") {
        std::wstring command = L"\"" + std::wstring(argv[0]) + L"\" hang";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION started{};
        wchar_t module[MAX_PATH];
        GetModuleFileNameW(nullptr, module, MAX_PATH);
        if (!CreateProcessW(module, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                            nullptr, nullptr, &startup, &started)) {
            return 91;
        }
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        write_text(out, std::to_string(started.dwProcessId));
        return 0;
    }
    write_text(err, "unknown mode");
    return 99;
}
