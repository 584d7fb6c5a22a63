#include "platform/win32/win32_seams.h"

#include <algorithm>

#include "text/text.h"

namespace corvel::win32 {

namespace {

bool is_console_handle(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// A write that reports success but moves nothing would loop forever; it counts as this failure,
// as does a failed write that leaves no error code.
constexpr DWORD k_nothing_written = ERROR_WRITE_FAULT;

DWORD write_error() {
    DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? code : k_nothing_written;
}

// Writes all of `text`; ERROR_SUCCESS, or the code of the first failed or empty write.
DWORD write_all(HANDLE handle, bool is_console, std::string_view text) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) {
        return ERROR_SUCCESS;
    }
    if (is_console) {
        std::wstring wide = to_wide(text);
        const wchar_t* data = wide.data();
        std::size_t left = wide.size();
        while (left > 0) {
            DWORD written = 0;
            DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 8192));
            // Never split a surrogate pair between two calls: each half would print as junk.
            if (chunk < left && data[chunk - 1] >= 0xD800 && data[chunk - 1] <= 0xDBFF) {
                --chunk;
            }
            if (!WriteConsoleW(handle, data, chunk, &written, nullptr)) {
                return write_error();
            }
            if (written == 0) {
                return k_nothing_written;
            }
            data += written;
            left -= written;
        }
        return ERROR_SUCCESS;
    }
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1 << 20));
        if (!WriteFile(handle, data, chunk, &written, nullptr)) {
            return write_error();
        }
        if (written == 0) {
            return k_nothing_written;
        }
        data += written;
        left -= written;
    }
    return ERROR_SUCCESS;
}

// Reads the console's input up to the next line end and throws it away; a failed or empty
// read ends it too.
void discard_console_line(HANDLE input) {
    wchar_t buffer[256];
    DWORD read = 0;
    while (ReadConsoleW(input, buffer, 256, &read, nullptr) && read > 0) {
        if (std::find(buffer, buffer + read, L'\n') != buffer + read) {
            return;
        }
    }
}

}  // namespace

Win32Console::Win32Console() {
    m_output.handle = GetStdHandle(STD_OUTPUT_HANDLE);
    m_output.is_console = is_console_handle(m_output.handle);
    m_error.handle = GetStdHandle(STD_ERROR_HANDLE);
    m_error.is_console = is_console_handle(m_error.handle);
}

Win32Console::~Win32Console() {
    flush(StandardStream::Output);
    flush(StandardStream::Error);
}

Win32Console::Stream& Win32Console::stream_of(StandardStream stream) {
    return stream == StandardStream::Output ? m_output : m_error;
}

const Win32Console::Stream& Win32Console::stream_of(StandardStream stream) const {
    return stream == StandardStream::Output ? m_output : m_error;
}

void Win32Console::write(StandardStream stream, std::string_view text) {
    stream_of(stream).pending += text;
    if (stream == StandardStream::Error) {
        // Both streams usually share one console: what standard output holds was written first
        // and must show first.
        flush(StandardStream::Output);
        flush(StandardStream::Error);
    }
}

void Win32Console::flush(StandardStream stream) {
    Stream& target = stream_of(stream);
    if (target.failure == ERROR_SUCCESS) {
        target.failure = write_all(target.handle, target.is_console, target.pending);
    }
    target.pending.clear();
}

std::optional<IoError> Win32Console::write_failure(StandardStream stream) const {
    DWORD failure = stream_of(stream).failure;
    if (failure == ERROR_SUCCESS) {
        return std::nullopt;
    }
    return io_error(failure);
}

bool Win32Console::is_terminal(StandardStream stream) const {
    return stream_of(stream).is_console;
}

void Win32Console::enable_virtual_terminal() {
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
        return;
    }
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
        SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

std::expected<std::string, std::string> Win32Console::read_line(std::size_t limit) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    const std::size_t wanted = limit + 2;
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) {
        // UTF-16 units come in; the low half of a surrogate pair is no character of its own.
        std::wstring line;
        std::size_t characters = 0;
        wchar_t buffer[256];
        while (characters < wanted) {
            DWORD read = 0;
            DWORD ask = static_cast<DWORD>(std::min<std::size_t>(256, wanted - characters));
            if (!ReadConsoleW(input, buffer, ask, &read, nullptr)) {
                return std::unexpected(io_error(GetLastError()).to_text());
            }
            if (read == 0) {
                break;
            }
            for (DWORD i = 0; i < read; ++i) {
                bool pair_end = buffer[i] >= 0xDC00 && buffer[i] <= 0xDFFF && !line.empty() &&
                                line.back() >= 0xD800 && line.back() <= 0xDBFF;
                characters += pair_end ? 0 : 1;
                line.push_back(buffer[i]);
            }
            if (line.back() == L'\n') {
                break;
            }
        }
        // The rest of an over-long line stays in the console's input buffer, where the shell
        // would read it as a command once corvel has exited.
        if (characters >= wanted && line.back() != L'\n') {
            discard_console_line(input);
        }
        return from_wide(line);
    }
    // A file or pipe: bytes up to and including the next line feed. Characters are counted by
    // their UTF-8 lead bytes; no valid UTF-8 of `wanted` characters is longer than 4 bytes
    // each, which bounds a run of stray continuation bytes too. Each byte is looked at once.
    const std::size_t byte_bound = 4 * wanted;
    std::size_t scanned = 0;
    std::size_t characters = 0;
    while (true) {
        std::size_t take = 0;
        bool cut = false;
        while (take == 0 && scanned < m_input_buffer.size()) {
            char byte = m_input_buffer[scanned++];
            if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) {
                ++characters;
            }
            if (byte == '\n') {
                take = scanned;
            } else if (characters == wanted || scanned == byte_bound) {
                take = scanned;
                cut = true;
            }
        }
        if (take == 0 && m_input_ended) {
            take = m_input_buffer.size();
        }
        if (take != 0 || m_input_ended) {
            std::string line = m_input_buffer.substr(0, take);
            m_input_buffer.erase(0, take);
            if (cut) {
                return decode_utf8_lossy(line);
            }
            if (!is_valid_utf8(line)) {
                return std::unexpected(invalid_utf8_error().to_text());
            }
            return line;
        }
        char buffer[4096];
        DWORD read = 0;
        DWORD ask = static_cast<DWORD>(
            std::min<std::size_t>(sizeof buffer, byte_bound - m_input_buffer.size()));
        if (!ReadFile(input, buffer, ask, &read, nullptr)) {
            DWORD code = GetLastError();
            if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) {
                m_input_ended = true;
                continue;
            }
            return std::unexpected(io_error(code).to_text());
        }
        if (read == 0) {
            m_input_ended = true;
            continue;
        }
        m_input_buffer.append(buffer, read);
    }
}

}  // namespace corvel::win32
