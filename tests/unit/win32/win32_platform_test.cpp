// The Windows implementations of the platform seams against the real system (run under Wine).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_seams.h"

#include <winioctl.h>

namespace corvel::win32 {
namespace {

std::vector<std::uint8_t> utf16_bytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// A scratch key under HKCU\Software, created before and deleted after each test.
class Win32Registry : public ::testing::Test {
protected:
    void SetUp() override {
        m_subkey = "Software\\corvel-unit-test-" + std::to_string(GetCurrentProcessId());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, to_wide(m_subkey).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &m_key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
            RegDeleteTreeW(HKEY_CURRENT_USER, to_wide(m_subkey).c_str());
        }
    }
    void create_subkey(std::wstring_view name) {
        HKEY child = nullptr;
        ASSERT_EQ(RegCreateKeyExW(m_key, std::wstring(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &child, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(child);
    }
    std::unique_ptr<RegistryKey> open(std::uint32_t access) {
        auto key = m_store.open_key(RegistryRoot::CurrentUser, m_subkey, access);
        EXPECT_TRUE(key.has_value()) << (key ? 0 : key.error());
        return key ? std::move(*key) : nullptr;
    }

    Win32RegistryStore m_store;
    std::string m_subkey;
    HKEY m_key = nullptr;
};

TEST_F(Win32Registry, WrittenValueReadsBackWithItsTypeUnderAnyCasingOfItsName) {
    auto key = open(k_key_read_write);
    ASSERT_TRUE(key);
    const auto bytes = utf16_bytes(u"C:\\jdk\\bin;%SystemRoot%");
    EXPECT_EQ(key->set_value("Path", k_reg_expand_sz, bytes), k_error_success);

    auto read = key->query_value("PATH");
    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(read->type, k_reg_expand_sz);
    EXPECT_EQ(read->bytes, bytes);

    // Writing under another casing replaces the same value.
    const auto replaced = utf16_bytes(u"x");
    EXPECT_EQ(key->set_value("pATH", k_reg_sz, replaced), k_error_success);
    read = key->query_value("Path");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->type, k_reg_sz);
    EXPECT_EQ(read->bytes, replaced);
}

TEST_F(Win32Registry, ValueLargerThanTheFirstBufferIsReadWhole) {
    auto key = open(k_key_read_write);
    ASSERT_TRUE(key);
    std::vector<std::uint8_t> bytes(70'001);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    ASSERT_EQ(key->set_value("Big", k_reg_binary, bytes), k_error_success);
    auto read = key->query_value("big");
    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(read->type, k_reg_binary);
    EXPECT_EQ(read->bytes, bytes);

    // Exactly the first buffer's size, and one byte more.
    for (std::size_t size : {std::size_t{2048}, std::size_t{2049}}) {
        std::vector<std::uint8_t> edge(bytes.begin(), bytes.begin() + size);
        ASSERT_EQ(key->set_value("Edge", k_reg_binary, edge), k_error_success);
        read = key->query_value("Edge");
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->bytes, edge);
    }
}

TEST_F(Win32Registry, EmptyValuesAndTheDefaultValueKeepTheirBytes) {
    auto key = open(k_key_read_write);
    ASSERT_TRUE(key);
    const std::vector<std::uint8_t> nul_only = {0, 0};
    ASSERT_EQ(key->set_value("Empty", k_reg_sz, nul_only), k_error_success);
    ASSERT_EQ(key->set_value("", k_reg_dword, std::vector<std::uint8_t>{1, 2, 3, 4}),
              k_error_success);
    ASSERT_EQ(key->set_value("None", k_reg_none, {}), k_error_success);

    auto read = key->query_value("Empty");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->bytes, nul_only);
    read = key->query_value("");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->type, k_reg_dword);
    EXPECT_EQ(read->bytes, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    read = key->query_value("None");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->type, k_reg_none);
    EXPECT_TRUE(read->bytes.empty());
}

TEST_F(Win32Registry, FailuresComeBackAsWindowsResultCodes) {
    auto key = open(k_key_read_write);
    ASSERT_TRUE(key);
    auto missing = key->query_value("NoSuchValue");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error(), k_error_file_not_found);

    // A type code above REG_QWORD is refused on reading.
    ASSERT_EQ(key->set_value("Odd", 12, std::vector<std::uint8_t>{1}), k_error_success);
    auto odd = key->query_value("Odd");
    ASSERT_FALSE(odd.has_value());
    EXPECT_EQ(odd.error(), k_error_bad_file_type);

    // A name with a NUL would address a shorter name; it is refused instead.
    EXPECT_EQ(key->set_value(std::string_view("Path\0x", 6), k_reg_sz, utf16_bytes(u"v")),
              std::uint32_t{ERROR_INVALID_PARAMETER});
    EXPECT_FALSE(key->query_value("Path").has_value());

    auto read_only = open(k_key_read);
    ASSERT_TRUE(read_only);
    EXPECT_EQ(read_only->set_value("X", k_reg_sz, utf16_bytes(u"v")), k_error_access_denied);

    auto absent = m_store.open_key(RegistryRoot::CurrentUser, m_subkey + "\\absent", k_key_read);
    ASSERT_FALSE(absent.has_value());
    EXPECT_EQ(absent.error(), k_error_file_not_found);
}

TEST_F(Win32Registry, SubkeysAreEnumeratedAndOpenedRelativeToTheKey) {
    create_subkey(L"17.0.9");
    create_subkey(L"caf\u00e9 \u65e5\u672c");
    create_subkey(L"21");
    HKEY child = nullptr;
    ASSERT_EQ(RegOpenKeyExW(m_key, L"21", 0, KEY_SET_VALUE, &child), ERROR_SUCCESS);
    const auto home = utf16_bytes(u"C:\\jdk-21");
    RegSetValueExW(child, L"JavaHome", 0, REG_SZ, home.data(), static_cast<DWORD>(home.size()));
    RegCloseKey(child);

    auto key = open(k_key_read);
    ASSERT_TRUE(key);
    std::vector<std::string> names;
    std::uint32_t index = 0;
    for (;; ++index) {
        auto name = key->enum_subkey(index);
        if (!name) {
            EXPECT_EQ(name.error(), k_error_no_more_items);
            break;
        }
        names.push_back(*name);
    }
    EXPECT_EQ(index, 3u);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"17.0.9", "21", "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"}));
    EXPECT_EQ(key->enum_subkey(100).error(), k_error_no_more_items);

    auto sub = key->open_subkey("21", k_key_read);
    ASSERT_TRUE(sub.has_value()) << sub.error();
    auto value = (*sub)->query_value("javahome");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->bytes, home);
    auto absent = key->open_subkey("22", k_key_read);
    ASSERT_FALSE(absent.has_value());
    EXPECT_EQ(absent.error(), k_error_file_not_found);
}

TEST_F(Win32Registry, SubkeyNameWithAnUnpairedSurrogateIsReportedAndSkipped) {
    const wchar_t broken[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    HKEY child = nullptr;
    if (RegCreateKeyExW(m_key, broken, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr) !=
        ERROR_SUCCESS) {
        GTEST_SKIP() << "the registry refuses names with unpaired surrogates";
    }
    RegCloseKey(child);
    create_subkey(L"fine");

    auto key = open(k_key_read);
    ASSERT_TRUE(key);
    std::vector<std::string> names;
    int untranslatable = 0;
    for (std::uint32_t index = 0;; ++index) {
        auto name = key->enum_subkey(index);
        if (name) {
            names.push_back(*name);
        } else if (name.error() == k_error_no_unicode_translation) {
            ++untranslatable;
        } else {
            EXPECT_EQ(name.error(), k_error_no_more_items);
            break;
        }
    }
    EXPECT_EQ(untranslatable, 1);
    EXPECT_EQ(names, std::vector<std::string>{"fine"});
}

TEST(Win32RegistryStore, ErrorMessagesAreTheSystemTextWithoutTrailingWhiteSpace) {
    Win32RegistryStore store;
    for (std::uint32_t code : {k_error_file_not_found, k_error_access_denied}) {
        std::string message = store.error_message(code);
        ASSERT_FALSE(message.empty());
        EXPECT_NE(message.back(), '\n');
        EXPECT_NE(message.back(), '\r');
        EXPECT_NE(message.back(), ' ');
    }
    EXPECT_NE(store.error_message(k_error_file_not_found),
              store.error_message(k_error_access_denied));
    // Without a window to answer, the announcement still returns.
    store.broadcast_environment_change();
}

// The child program built next to this test program.
std::string child_path() {
    wchar_t module[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, length);
    path.resize(path.find_last_of(L"\\/") + 1);
    return from_wide(path + L"corvel_test_child.exe");
}

std::vector<std::string> split_at_nul(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find('\0', begin)) != std::string::npos; begin = end + 1) {
        parts.push_back(text.substr(begin, end - begin));
    }
    EXPECT_EQ(begin, text.size()) << "output does not end with NUL";
    return parts;
}

constexpr std::chrono::milliseconds k_generous_limit{60'000};

TEST(Win32ProcessRunner, ChildSeesExactlyTheGivenArguments) {
    Win32ProcessRunner runner;
    const std::vector<std::string> arguments = {
        "echo",
        "",
        " ",
        "two words",
        "tab\there",
        "\"",
        "\"quoted\"",
        "a\"\"b",
        "\\",
        "trailing\\",
        "space and trailing\\",
        "space and two trailing\\\\",
        "\\\"",
        "a\\\"b",
        "C:\\Program Files\\Java\\jdk-21\\",
        "%PATH%",
        "^&|<>()",
        "*?",
        "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC",
        "\xF0\x9F\x98\x80",
    };
    const std::string program = child_path();
    auto result = runner.run_captured(program, arguments, k_generous_limit);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->exit_code, 0u);
    std::vector<std::string> expected = {program};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(split_at_nul(result->standard_output), expected);
    EXPECT_EQ(result->standard_error, "");
}

TEST(Win32ProcessRunner, ProgramInAFolderWithSpacesAndNonAsciiNameStarts) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder =
        std::wstring(temp) + L"corvel child \u00e9 " + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring copy = folder + L"\\child (copy).exe";
    ASSERT_TRUE(CopyFileW(to_wide(child_path()).c_str(), copy.c_str(), FALSE));

    Win32ProcessRunner runner;
    const std::vector<std::string> arguments = {"echo", "x y"};
    auto result = runner.run_captured(from_wide(copy), arguments, k_generous_limit);
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(split_at_nul(result->standard_output),
              (std::vector<std::string>{from_wide(copy), "echo", "x y"}));
}

// A child that writes more than the limit is still read to its end, so it is never blocked on a
// full pipe and ends normally; only the first mebibyte of each stream is kept.
TEST(Win32ProcessRunner, EachStreamKeepsItsFirstMebibyteWhileTheChildWritesOn) {
    constexpr std::size_t k_bytes = 3 * 1024 * 1024 + 17;
    Win32ProcessRunner runner;
    auto result = runner.run_captured(
        child_path(), std::vector<std::string>{"flood", std::to_string(k_bytes)}, k_generous_limit);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->exit_code, 0u);
    ASSERT_EQ(result->standard_output.size(), k_captured_stream_limit);
    ASSERT_EQ(result->standard_error.size(), k_captured_stream_limit);
    auto pattern = [](std::size_t index, int seed) {
        return static_cast<char>((index * 31 + static_cast<std::size_t>(seed) + index / 4093) %
                                 251);
    };
    std::size_t wrong_output = 0;
    std::size_t wrong_error = 0;
    for (std::size_t i = 0; i < k_captured_stream_limit; ++i) {
        wrong_output += result->standard_output[i] != pattern(i, 1);
        wrong_error += result->standard_error[i] != pattern(i, 2);
    }
    EXPECT_EQ(wrong_output, 0u);
    EXPECT_EQ(wrong_error, 0u);
}

TEST(Win32ProcessRunner, ExitCodeAndBothStreamsComeBack) {
    Win32ProcessRunner runner;
    for (std::uint32_t code : {0u, 3u, 255u, 3221225477u}) {
        auto result = runner.run_captured(
            child_path(), std::vector<std::string>{"exit", std::to_string(code)}, k_generous_limit);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->exit_code, code);
        EXPECT_EQ(result->standard_output, "out " + std::to_string(code));
        EXPECT_EQ(result->standard_error, "err " + std::to_string(code));
    }
}

TEST(Win32ProcessRunner, StandardInputIsEmptyAndOtherHandlesAreNotInherited) {
    Win32ProcessRunner runner;
    auto input =
        runner.run_captured(child_path(), std::vector<std::string>{"stdin"}, k_generous_limit);
    ASSERT_TRUE(input.has_value());
    EXPECT_EQ(input->standard_output, "0");

    // An inheritable handle of this process must not reach the child.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle event(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event.valid());
    auto value = reinterpret_cast<std::uintptr_t>(event.get());
    auto handle = runner.run_captured(
        child_path(), std::vector<std::string>{"handle", std::to_string(value)}, k_generous_limit);
    ASSERT_TRUE(handle.has_value());
    EXPECT_EQ(handle->standard_output, "closed");
}

TEST(Win32ProcessRunner, ChildPastTheTimeLimitIsEndedAndGivesNothing) {
    Win32ProcessRunner runner;
    auto begin = std::chrono::steady_clock::now();
    auto result = runner.run_captured(child_path(), std::vector<std::string>{"hang"},
                                      std::chrono::milliseconds(500));
    auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_FALSE(result.has_value());
    // Not a speed target: only that the limit ends the wait instead of hanging.
    EXPECT_GE(took, std::chrono::milliseconds(450));
    EXPECT_LT(took, std::chrono::seconds(20));
}

TEST(Win32ProcessRunner, GrandchildHoldingThePipesDoesNotKeepTheCallerWaiting) {
    Win32ProcessRunner runner;
    auto begin = std::chrono::steady_clock::now();
    auto result =
        runner.run_captured(child_path(), std::vector<std::string>{"spawn-hang"}, k_generous_limit);
    auto took = std::chrono::steady_clock::now() - begin;
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->exit_code, 0u);
    EXPECT_LT(took, std::chrono::seconds(30));
    // The grandchild's id is the whole output; end it.
    DWORD id = static_cast<DWORD>(std::stoul(result->standard_output));
    UniqueHandle grandchild(OpenProcess(PROCESS_TERMINATE, FALSE, id));
    ASSERT_TRUE(grandchild.valid());
    EXPECT_TRUE(TerminateProcess(grandchild.get(), 0));
}

TEST(Win32ProcessRunner, ProgramsThatCannotBeStartedGiveNothing) {
    Win32ProcessRunner runner;
    const std::vector<std::string> none;
    EXPECT_FALSE(runner.run_captured("C:\\no\\such\\program.exe", none, k_generous_limit));
    EXPECT_FALSE(runner.run_captured("corvel-no-such-program", none, k_generous_limit));
    EXPECT_FALSE(runner.run_captured("", none, k_generous_limit));
    // A quotation mark or a NUL could change what the command line means.
    EXPECT_FALSE(runner.run_captured(child_path() + "\" echo", none, k_generous_limit));
    EXPECT_FALSE(runner.run_captured(
        child_path(), std::vector<std::string>{"echo", std::string("a\0b", 3)}, k_generous_limit));
}

TEST(Win32ProcessRunner, BareNameIsFoundByTheProgramSearch) {
    // cmd.exe lives in the system folder, which the search always covers.
    Win32ProcessRunner runner;
    auto result =
        runner.run_captured("cmd", std::vector<std::string>{"/c", "exit 7"}, k_generous_limit);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->exit_code, 7u);
}

// A scratch folder under the temporary folder, removed with everything in it after each test.
class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_root = from_wide(temp) + "corvel-files-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(++counter);
        ASSERT_TRUE(CreateDirectoryW(to_wide(m_root).c_str(), nullptr));
    }
    void TearDown() override {
        remove_tree(to_wide(m_root));
    }
    // Removes a folder and its content; links are removed, never followed.
    static void remove_tree(const std::wstring& folder) {
        WIN32_FIND_DATAW entry{};
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") {
                    continue;
                }
                std::wstring path = folder + L"\\" + name;
                bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                if (directory && !link) {
                    remove_tree(path);
                } else if (directory) {
                    RemoveDirectoryW(path.c_str());
                } else {
                    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(path.c_str());
                }
            } while (FindNextFileW(search, &entry));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }
    std::string path(std::string_view name) const {
        return m_root + "\\" + std::string(name);
    }
    void make_file(std::string_view name, std::string_view content = "x") {
        ASSERT_TRUE(m_files.write_file(path(name), content).has_value());
    }
    void make_folder(std::string_view name) {
        ASSERT_TRUE(CreateDirectoryW(to_wide(path(name)).c_str(), nullptr));
    }

    Win32FileSystem m_files;
    std::string m_root;
};

// "file", "folder" or "error {code}": what status() says about `path`.
std::string kind_of(std::string_view path) {
    auto status = Win32FileSystem().status(path);
    if (!status) {
        return "error " + std::to_string(status.error().code.value_or(-1));
    }
    return status->kind == FileKind::Directory ? "folder" : "file";
}

std::string binary_content(std::size_t size) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        content[i] = static_cast<char>((i * 13 + i / 256) & 0xFF);
    }
    return content + "\r\n\0\xFF";
}

TEST_F(Win32Files, WrittenBytesReadBackExactlyAndRewritingTruncates) {
    const std::string big = binary_content(200'001);
    ASSERT_TRUE(m_files.write_file(path("data.bin"), big).has_value());
    auto read = m_files.read_file(path("data.bin"));
    ASSERT_TRUE(read.has_value()) << read.error().to_text();
    EXPECT_EQ(*read, big);

    // Files that end exactly where a read does: the next read finds the end.
    for (std::size_t size : {4096U, 12288U, 1048576U + 4096U}) {
        const std::string exact = binary_content(size).substr(0, size);
        ASSERT_TRUE(m_files.write_file(path("data.bin"), exact).has_value());
        EXPECT_EQ(m_files.read_file(path("data.bin")).value_or("?"), exact) << size;
    }

    ASSERT_TRUE(m_files.write_file(path("data.bin"), "ab").has_value());
    EXPECT_EQ(m_files.read_file(path("data.bin")).value_or("?"), "ab");
    ASSERT_TRUE(m_files.write_file(path("data.bin"), "").has_value());
    EXPECT_EQ(m_files.read_file(path("data.bin")).value_or("?"), "");

    // A hidden file is rewritten too.
    ASSERT_TRUE(SetFileAttributesW(to_wide(path("data.bin")).c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(m_files.write_file(path("data.bin"), "hidden").has_value());
    EXPECT_EQ(m_files.read_file(path("data.bin")).value_or("?"), "hidden");
}

TEST_F(Win32Files, FailuresCarryTheSystemMessageAndCode) {
    auto missing = m_files.read_file(path("missing.txt"));
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, 2);
    ASSERT_FALSE(missing.error().message.empty());
    EXPECT_NE(missing.error().message.back(), '\n');
    EXPECT_TRUE(missing.error().to_text().ends_with(" (os error 2)"));

    EXPECT_FALSE(m_files.read_file(m_root).has_value());
    EXPECT_FALSE(m_files.write_file(path("no-folder\\file.txt"), "x").has_value());
    EXPECT_EQ(m_files.remove_file(path("missing.txt")).error().code, 2);
    EXPECT_FALSE(m_files.replace_file(path("missing.txt"), path("other.txt")).has_value());
    // A NUL would cut the path short and name another file.
    make_file("cut");
    EXPECT_FALSE(m_files.status(path("cut") + std::string("\0tail", 5)).has_value());
    EXPECT_FALSE(m_files.write_file(path("cut") + std::string("\0tail", 5), "y").has_value());
    EXPECT_EQ(m_files.read_file(path("cut")).value_or("?"), "x");
}

TEST_F(Win32Files, StatusTellsFilesFromFolders) {
    make_file("file.txt");
    make_folder("folder");
    EXPECT_EQ(kind_of(path("file.txt")), "file");
    EXPECT_EQ(kind_of(path("folder")), "folder");
    EXPECT_EQ(kind_of(path("folder\\")), "folder");
    EXPECT_EQ(kind_of(path("FOLDER/")), "folder");
    EXPECT_EQ(kind_of("C:\\"), "folder");
    auto missing = m_files.status(path("missing"));
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, 2);
    EXPECT_FALSE(m_files.status(path("missing\\below")).has_value());
    EXPECT_FALSE(m_files.status(path("file.txt\\below")).has_value());
}

// Whether `path` itself exists, without following it when it is a link.
bool exists_unfollowed(const std::string& path) {
    return GetFileAttributesW(to_wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Makes the empty folder `link` a junction to `target` (an absolute path).
bool make_junction(const std::string& link, const std::string& target) {
    if (!CreateDirectoryW(to_wide(link).c_str(), nullptr)) {
        return false;
    }
    const std::wstring substitute = L"\\??\\" + to_wide(target);
    const std::wstring print = to_wide(target);
    // The mount-point layout of REPARSE_DATA_BUFFER: header, four name fields, both names.
    std::vector<WORD> words = {0, 0, 0, 0};  // tag (two words), data length, reserved
    words.push_back(0);
    words.push_back(static_cast<WORD>(substitute.size() * 2));
    words.push_back(static_cast<WORD>((substitute.size() + 1) * 2));
    words.push_back(static_cast<WORD>(print.size() * 2));
    words.insert(words.end(), substitute.begin(), substitute.end());
    words.push_back(0);
    words.insert(words.end(), print.begin(), print.end());
    words.push_back(0);
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    words[0] = static_cast<WORD>(tag & 0xFFFF);
    words[1] = static_cast<WORD>(tag >> 16);
    words[2] = static_cast<WORD>((words.size() - 4) * 2);
    UniqueHandle folder(CreateFileW(to_wide(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
    DWORD returned = 0;
    return folder.valid() &&
           DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, words.data(),
                           static_cast<DWORD>(words.size() * 2), nullptr, 0, &returned, nullptr);
}

TEST_F(Win32Files, StatusFollowsSymbolicLinksAndFailsOnDanglingOnes) {
    make_folder("target");
    make_file("target\\bin.txt");
    const DWORD unprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    // Some systems report success without making the link; look for it.
    if (!CreateSymbolicLinkW(to_wide(path("dir-link")).c_str(), to_wide(path("target")).c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged) ||
        !exists_unfollowed(path("dir-link"))) {
        GTEST_SKIP() << "symbolic links cannot be created here";
    }
    ASSERT_TRUE(CreateSymbolicLinkW(to_wide(path("file-link")).c_str(),
                                    to_wide(path("target\\bin.txt")).c_str(), unprivileged));
    ASSERT_TRUE(CreateSymbolicLinkW(to_wide(path("dangling")).c_str(),
                                    to_wide(path("nowhere")).c_str(),
                                    SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged));
    ASSERT_TRUE(exists_unfollowed(path("dangling")));

    EXPECT_EQ(kind_of(path("dir-link")), "folder");
    EXPECT_EQ(kind_of(path("dir-link\\bin.txt")), "file");
    EXPECT_EQ(kind_of(path("file-link")), "file");
    EXPECT_TRUE(kind_of(path("dangling")).starts_with("error")) << kind_of(path("dangling"));
    // The listing shows links under their own names.
    auto names = m_files.list_directory(m_root);
    ASSERT_TRUE(names.has_value());
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"dangling", "dir-link", "file-link", "target"}));
}

TEST_F(Win32Files, StatusFollowsJunctionsAndFailsOnDanglingOnes) {
    make_folder("target");
    make_file("target\\bin.txt");
    make_folder("gone");
    if (!make_junction(path("junction"), path("target")) ||
        !exists_unfollowed(path("junction\\bin.txt"))) {
        GTEST_SKIP() << "junctions cannot be created here";
    }
    ASSERT_TRUE(make_junction(path("dangling"), path("gone")));
    ASSERT_TRUE(RemoveDirectoryW(to_wide(path("gone")).c_str()));

    EXPECT_EQ(kind_of(path("junction")), "folder");
    EXPECT_EQ(kind_of(path("junction\\bin.txt")), "file");
    EXPECT_TRUE(kind_of(path("dangling")).starts_with("error")) << kind_of(path("dangling"));
    auto names = m_files.list_directory(path("junction"));
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(*names, std::vector<std::string>{"bin.txt"});
}

TEST_F(Win32Files, CreateDirectoriesMakesEveryMissingAncestor) {
    const std::string deep = path("a\\b/c\\");
    ASSERT_TRUE(m_files.create_directories(deep).has_value());
    EXPECT_EQ(kind_of(path("a\\b\\c")), "folder");
    // Existing folders, the drive root and the long-path form are fine.
    EXPECT_TRUE(m_files.create_directories(deep).has_value());
    EXPECT_TRUE(m_files.create_directories(path("a")).has_value());
    EXPECT_TRUE(m_files.create_directories("C:\\").has_value());
    EXPECT_TRUE(m_files.create_directories("\\\\?\\" + path("long\\x\\y")).has_value());
    EXPECT_EQ(kind_of(path("long\\x\\y")), "folder");

    // A file in the way is an error, at the end or on the way.
    make_file("file");
    EXPECT_FALSE(m_files.create_directories(path("file")).has_value());
    EXPECT_FALSE(m_files.create_directories(path("file\\below")).has_value());
    EXPECT_EQ(kind_of(path("file")), "file");
}

TEST_F(Win32Files, CreateDirectoriesResolvesRelativePathsAgainstTheCurrentFolder) {
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(to_wide(m_root).c_str()));
    auto created = m_files.create_directories("rel\\one\\two");
    SetCurrentDirectoryW(previous);
    ASSERT_TRUE(created.has_value()) << created.error().to_text();
    EXPECT_EQ(kind_of(path("rel\\one\\two")), "folder");
}

TEST_F(Win32Files, ReplaceMovesOverAnExistingFile) {
    make_file("new.tmp", "new content");
    make_file("config.json", "old content that is longer");
    ASSERT_TRUE(m_files.replace_file(path("new.tmp"), path("config.json")).has_value());
    EXPECT_EQ(m_files.read_file(path("config.json")).value_or("?"), "new content");
    EXPECT_EQ(m_files.status(path("new.tmp")).error().code, 2);

    make_file("second.tmp", "2");
    ASSERT_TRUE(m_files.replace_file(path("second.tmp"), path("fresh.json")).has_value());
    EXPECT_EQ(m_files.read_file(path("fresh.json")).value_or("?"), "2");

    ASSERT_TRUE(m_files.remove_file(path("fresh.json")).has_value());
    EXPECT_FALSE(m_files.status(path("fresh.json")).has_value());
    make_folder("folder");
    EXPECT_FALSE(m_files.remove_file(path("folder")).has_value());
}

TEST_F(Win32Files, ListingNamesEveryEntryButTheDotEntries) {
    make_file("b.txt");
    make_file("a.txt");
    make_folder("jdk-21");
    make_folder("caf\xC3\xA9 \xE6\x97\xA5");
    for (std::string folder : {m_root, m_root + "\\", m_root + "/"}) {
        auto names = m_files.list_directory(folder);
        ASSERT_TRUE(names.has_value()) << names.error().to_text();
        std::sort(names->begin(), names->end());
        EXPECT_EQ(*names, (std::vector<std::string>{"a.txt", "b.txt", "caf\xC3\xA9 \xE6\x97\xA5",
                                                    "jdk-21"}));
    }
    auto empty = m_files.list_directory(path("jdk-21"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
    EXPECT_FALSE(m_files.list_directory(path("missing")).has_value());
    EXPECT_FALSE(m_files.list_directory(path("a.txt")).has_value());
    EXPECT_FALSE(m_files.list_directory("").has_value());
}

TEST_F(Win32Files, ListedNameWithAnUnpairedSurrogateGetsAReplacementCharacter) {
    std::wstring name = to_wide(path("x"));
    name += static_cast<wchar_t>(0xDC00);
    name += L'y';
    UniqueHandle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        GTEST_SKIP() << "file names with unpaired surrogates cannot be created here";
    }
    file.reset();
    auto names = m_files.list_directory(m_root);
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(*names, std::vector<std::string>{"x\xEF\xBF\xBDy"});
}

TEST_F(Win32Files, LockIsExclusiveUntilItsOwnerIsDestroyed) {
    constexpr std::chrono::milliseconds k_lock_limit{60'000};
    const std::string lock_path = path("config.lock");
    auto lock = m_files.lock_exclusive(lock_path, k_lock_limit);
    ASSERT_TRUE(lock.has_value()) << lock.error().to_text();
    EXPECT_EQ(kind_of(lock_path), "file");

    auto try_lock = [&] {
        UniqueHandle other(CreateFileW(to_wide(lock_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
        OVERLAPPED whole{};
        bool locked = LockFileEx(other.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                                 0, MAXDWORD, MAXDWORD, &whole);
        if (locked) {
            UnlockFileEx(other.get(), 0, MAXDWORD, MAXDWORD, &whole);
        }
        return locked;
    };
    EXPECT_FALSE(try_lock());

    // A second owner gives up once its time limit has passed...
    auto refused = m_files.lock_exclusive(lock_path, std::chrono::milliseconds(200));
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().code, k_error_lock_timeout);

    // ...and otherwise waits for the first.
    std::atomic<bool> second_locked{false};
    std::thread waiter([&] {
        auto second = m_files.lock_exclusive(lock_path, k_lock_limit);
        second_locked = second.has_value();
    });
    Sleep(300);
    EXPECT_FALSE(second_locked.load());
    lock->reset();
    waiter.join();
    EXPECT_TRUE(second_locked.load());
    EXPECT_TRUE(try_lock());

    EXPECT_FALSE(m_files.lock_exclusive(path("missing\\config.lock"), k_lock_limit).has_value());
}

TEST(Win32KnownFolders, RoamingApplicationDataIsTheUsersAppDataRoaming) {
    Win32KnownFolders folders;
    auto folder = folders.roaming_app_data();
    ASSERT_TRUE(folder.has_value());
    EXPECT_TRUE(folder->ends_with("\\AppData\\Roaming")) << *folder;
    EXPECT_EQ(kind_of(*folder), "folder");
    // Asked again, it gives the same folder (remembered from the first lookup).
    EXPECT_EQ(folders.roaming_app_data(), folder);
}

}  // namespace
}  // namespace corvel::win32
