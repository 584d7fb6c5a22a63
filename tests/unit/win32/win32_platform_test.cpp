// The Windows implementations of the platform seams against the real system (run under Wine).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/win32_seams.h"

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

TEST(Win32ProcessRunner, BothStreamsAreCapturedWholeWhileTheChildFillsThem) {
    constexpr std::size_t k_bytes = 3 * 1024 * 1024 + 17;
    Win32ProcessRunner runner;
    auto result = runner.run_captured(
        child_path(), std::vector<std::string>{"flood", std::to_string(k_bytes)}, k_generous_limit);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->exit_code, 0u);
    ASSERT_EQ(result->standard_output.size(), k_bytes);
    ASSERT_EQ(result->standard_error.size(), k_bytes);
    auto pattern = [](std::size_t index, int seed) {
        return static_cast<char>((index * 31 + static_cast<std::size_t>(seed) + index / 4093) %
                                 251);
    };
    std::size_t wrong_output = 0;
    std::size_t wrong_error = 0;
    for (std::size_t i = 0; i < k_bytes; ++i) {
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

}  // namespace
}  // namespace corvel::win32
