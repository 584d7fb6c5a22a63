// Files, folders, junctions, the configuration location and JDK-like folders.

#include "win32_support.h"  // <windows.h> before the other Windows headers

#include <knownfolders.h>
#include <shlobj.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>

#include "harness.h"
#include "harness_internal.h"

namespace corvel::e2e {

using detail::fail_last;
using detail::Handle;
using detail::narrow;
using detail::widen;

namespace {

std::vector<std::string>& created_outside_root() {
    static std::vector<std::string> folders;
    return folders;
}

// Links made on the Linux side. Wine shows them as ordinary folders, so deleting one the
// Windows way would empty its target; they are unlinked instead.
std::vector<std::string>& linux_links() {
    static std::vector<std::string> links;
    return links;
}

std::string unix_path(const std::string& path);

bool is_absolute(std::string_view path) {
    return (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
           path.starts_with("\\\\");
}

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

std::string join(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (!joined.empty() && !is_separator(joined.back())) {
        joined += '\\';
    }
    joined += name;
    return joined;
}

bool starts_with_folder(std::string_view path, std::string_view folder) {
    if (path.size() < folder.size()) {
        return false;
    }
    std::wstring head = widen(path.substr(0, folder.size()));
    std::wstring wide_folder = widen(folder);
    if (CompareStringOrdinal(head.c_str(), -1, wide_folder.c_str(), -1, TRUE) != CSTR_EQUAL) {
        return false;
    }
    return path.size() == folder.size() || is_separator(path[folder.size()]);
}

DWORD attributes_of(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str());
}

// Polls for the effect of a Linux program, which cannot be waited for; false after 20 s.
template <typename Condition>
bool wait_until(Condition done) {
    for (int i = 0; i < 2000; ++i) {
        if (done()) {
            return true;
        }
        Sleep(10);
    }
    return done();
}

bool listed(const std::string& path) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(widen(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return true;
}

bool same_path(std::string_view left, std::string_view right) {
    std::wstring a = widen(left);
    std::wstring b = widen(right);
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

void delete_wide(const std::wstring& path) {
    auto link = std::find_if(linux_links().begin(), linux_links().end(),
                             [&](const std::string& l) { return same_path(l, narrow(path)); });
    if (link != linux_links().end()) {
        detail::start_linux_program("Z:\\bin\\rm", {"-f", unix_path(*link)});
        if (!wait_until([&] { return !listed(*link); })) {
            throw HarnessError("cannot remove the link " + *link);
        }
        linux_links().erase(link);
        return;
    }
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!DeleteFileW(path.c_str())) {
            fail_last("deleting " + narrow(path));
        }
        return;
    }
    // A junction or link is removed itself; what it points to stays.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            std::vector<std::wstring> names;
            do {
                std::wstring name = found.cFileName;
                if (name != L"." && name != L"..") {
                    names.push_back(name);
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
            for (const std::wstring& name : names) {
                delete_wide(path + L"\\" + name);
            }
        }
    }
    if (!RemoveDirectoryW(path.c_str())) {
        fail_last("deleting the folder " + narrow(path));
    }
}

}  // namespace

std::string test_root() {
    return "C:\\corvel-e2e";
}

std::string test_path(std::string_view relative) {
    return join(test_root(), relative);
}

void make_folder(const std::string& path) {
    for (size_t end = 0; end <= path.size(); ++end) {
        if (end < path.size() && !is_separator(path[end])) {
            continue;
        }
        std::string prefix = path.substr(0, end);
        if (prefix.empty() || prefix.back() == ':' || prefix == "\\" ||
            is_separator(prefix.back())) {
            continue;
        }
        DWORD attributes = attributes_of(prefix);
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        if (!CreateDirectoryW(widen(prefix).c_str(), nullptr)) {
            fail_last("creating the folder " + prefix);
        }
        if (!starts_with_folder(prefix, test_root())) {
            created_outside_root().push_back(prefix);
        }
    }
}

void write_file(const std::string& path, std::string_view bytes) {
    size_t separator = path.find_last_of("\\/");
    if (separator != std::string::npos) {
        make_folder(path.substr(0, separator));
    }
    Handle file(CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        fail_last("creating the file " + path);
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        fail_last("writing the file " + path);
    }
}

std::optional<std::string> read_file(const std::string& path) {
    Handle file(CreateFileW(widen(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    return bytes;
}

bool path_exists(const std::string& path) {
    return attributes_of(path) != INVALID_FILE_ATTRIBUTES;
}

void delete_path(const std::string& path) {
    delete_wide(widen(path));
}

namespace {

// The Linux path of a Windows path, from Wine.
std::string unix_path(const std::string& path) {
    using ToUnix = char* (*)(const wchar_t*);
    auto to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* converted = to_unix != nullptr ? to_unix(widen(path).c_str()) : nullptr;
    if (converted == nullptr) {
        throw HarnessError("no Linux path for " + path);
    }
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

bool make_junction(const std::string& link, const std::string& target) {
    make_folder(link);
    Handle folder(CreateFileW(widen(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder.valid()) {
        fail_last("opening " + link);
    }
    // A mount-point reparse buffer: tag, data length, reserved, then the substitute name
    // ("\\??\\" + target) and the print name (target), each NUL-terminated.
    const std::wstring substitute = L"\\??\\" + widen(target);
    const std::wstring print = widen(target);
    const WORD substitute_bytes = static_cast<WORD>(substitute.size() * 2);
    const WORD print_bytes = static_cast<WORD>(print.size() * 2);
    const WORD data_length = static_cast<WORD>(8 + substitute_bytes + 2 + print_bytes + 2);
    std::string buffer(8 + data_length, '\0');
    auto put_word = [&](size_t offset, WORD value) { std::memcpy(&buffer[offset], &value, 2); };
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(&buffer[0], &tag, 4);
    put_word(4, data_length);
    put_word(8, 0);
    put_word(10, substitute_bytes);
    put_word(12, static_cast<WORD>(substitute_bytes + 2));
    put_word(14, print_bytes);
    std::memcpy(&buffer[16], substitute.data(), substitute_bytes);
    std::memcpy(&buffer[16 + substitute_bytes + 2], print.data(), print_bytes);
    DWORD returned = 0;
    if (DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                        static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr)) {
        return true;
    }
    DWORD error = GetLastError();
    folder = Handle();
    RemoveDirectoryW(widen(link).c_str());
    if (error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_FUNCTION) {
        detail::fail("making " + link + " a junction to " + target, error);
    }
    return false;
}

}  // namespace

void make_folder_link(const std::string& link, const std::string& target) {
    if (make_junction(link, target)) {
        return;
    }
    // This Wine has no junctions: link on the Linux side.
    make_linux_link(link, unix_path(target));
}

void make_linux_link(const std::string& link, const std::string& linux_target) {
    detail::start_linux_program("Z:\\bin\\ln", {"-s", linux_target, unix_path(link)});
    linux_links().push_back(link);
    // A link to a device has no attributes for Windows, but it is listed.
    if (!wait_until([&] { return listed(link); })) {
        throw HarnessError("cannot link " + link + " to " + linux_target);
    }
}

std::string roaming_app_data() {
    wchar_t* folder = nullptr;
    HRESULT result = SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder);
    if (FAILED(result)) {
        CoTaskMemFree(folder);
        detail::fail("SHGetKnownFolderPath", static_cast<DWORD>(result));
    }
    std::string path = narrow(folder);
    CoTaskMemFree(folder);
    return path;
}

std::string config_folder() {
    return join(roaming_app_data(), "corvel");
}

std::string json_string(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string config_path() {
    return join(config_folder(), "config.json");
}

namespace detail {

std::vector<std::string> test_folders() {
    std::vector<std::string> folders = created_outside_root();
    folders.push_back(test_root());
    return folders;
}

void delete_created_folders() {
    auto& folders = created_outside_root();
    // Deepest first, so that a folder inside another recorded one goes before it.
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& folder : folders) {
        delete_path(folder);
    }
    folders.clear();
}

}  // namespace detail

// ---------------------------------------------------------------------------------------------
// JDK-like folders

std::string openjdk_banner(std::string_view version) {
    const std::string v(version);
    return "openjdk version \"" + v + "\" 2024-01-16\r\n" + "OpenJDK Runtime Environment (build " +
           v + "+13-58)\r\n" + "OpenJDK 64-Bit Server VM (build " + v +
           "+13-58, mixed mode, sharing)\r\n";
}

std::string oracle_banner(std::string_view version) {
    const std::string v(version);
    return "java version \"" + v + "\"\r\n" + "Java(TM) SE Runtime Environment (build " + v +
           "-b09)\r\n" + "Java HotSpot(TM) 64-Bit Server VM (build 25.381-b09, mixed mode)\r\n";
}

std::string release_file(std::string_view version, std::string_view implementor) {
    // The look of a real release file, including keys that share a prefix with the two that
    // matter.
    const std::string v(version);
    const std::string i(implementor);
    return "IMPLEMENTOR=\"" + i + "\"\n" + "IMPLEMENTOR_VERSION=\"" + i + "-" + v + "+13\"\n" +
           "JAVA_RUNTIME_VERSION=\"" + v + "+13-LTS\"\n" + "JAVA_VERSION=\"" + v + "\"\n" +
           "JAVA_VERSION_DATE=\"2024-01-16\"\n" + "OS_ARCH=\"x86_64\"\n" + "OS_NAME=\"Windows\"\n";
}

std::string make_jdk(const std::string& path, const JdkLayout& layout) {
    const std::string root = is_absolute(path) ? path : test_path(path);
    const std::string bin = join(root, "bin");
    make_folder(bin);
    if (layout.java) {
        const std::string launcher = join(bin, "java.exe");
        if (!CopyFileW(widen(detail::java_standin_exe()).c_str(), widen(launcher).c_str(), FALSE)) {
            fail_last("copying the stand-in launcher to " + launcher);
        }
        set_java_answer(root, *layout.java);
    }
    if (layout.javac) {
        write_file(join(bin, "javac.exe"), "stand-in compiler\r\n");
    }
    if (layout.release) {
        write_file(join(root, "release"), *layout.release);
    }
    return root;
}

void set_java_answer(const std::string& jdk, const JavaAnswer& answer) {
    const std::string stem = join(join(jdk, "bin"), "java");
    write_file(stem + ".stdout", answer.stdout_bytes);
    write_file(stem + ".stderr", answer.stderr_bytes);
    write_file(stem + ".conf", "exit=" + std::to_string(answer.exit_code) +
                                   "\r\nrepeat=" + std::to_string(answer.repeat) +
                                   "\r\nhang=" + (answer.hang ? "1" : "0") +
                                   "\r\necho_stdin=" + (answer.echo_stdin ? "1" : "0") + "\r\n");
}

std::vector<std::string> java_calls(const std::string& jdk) {
    return lines_of(read_file(join(join(jdk, "bin"), "java.calls")).value_or(""));
}

// ---------------------------------------------------------------------------------------------
// Text helpers

std::string escaped(std::string_view bytes) {
    static const char* hex = "0123456789abcdef";
    std::string shown;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '\n') {
            shown += "\\n\n";
        } else if (byte == '\r') {
            shown += "\\r";
        } else if (byte == '\t') {
            shown += "\\t";
        } else if (byte == '\\') {
            shown += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7f) {
            shown += static_cast<char>(byte);
        } else {
            // Whole valid UTF-8 sequences stay readable; stray bytes and controls are escaped.
            size_t length = byte >= 0xf0 && byte < 0xf5   ? 4
                            : byte >= 0xe0 && byte < 0xf0 ? 3
                            : byte >= 0xc2 && byte < 0xe0 ? 2
                                                          : 0;
            bool whole = length > 0 && i + length <= bytes.size();
            for (size_t k = 1; whole && k < length; ++k) {
                whole = (static_cast<unsigned char>(bytes[i + k]) & 0xc0) == 0x80;
            }
            if (whole) {
                shown.append(bytes.substr(i, length));
                i += length - 1;
            } else {
                shown += "\\x";
                shown += hex[byte >> 4];
                shown += hex[byte & 15];
            }
        }
    }
    return shown;
}

std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r' && end != std::string_view::npos) {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

}  // namespace corvel::e2e
