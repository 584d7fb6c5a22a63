#include "environment/environment_store.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace corvel {
namespace {

using fakes::registry_text_bytes;

constexpr RegistryRoot k_hkcu = RegistryRoot::CurrentUser;
constexpr RegistryRoot k_hklm = RegistryRoot::LocalMachine;
constexpr std::string_view k_user_key = "Environment";
constexpr std::string_view k_system_key =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

struct StoreTest : ::testing::Test {
    fakes::FakePlatform fake;
    std::vector<ReplacedValue> replaced;

    StoreTest() {
        fake.registry.add_key(k_hkcu, k_user_key);
        fake.registry.add_key(k_hklm, k_system_key);
    }

    std::unique_ptr<RegistryKey> user_key() {
        auto key = open_environment_key(fake.platform, EnvironmentScope::User, false);
        EXPECT_TRUE(key.has_value());
        return key ? std::move(*key) : nullptr;
    }

    void set_user(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> bytes) {
        fake.registry.set(k_hkcu, k_user_key, name, type, std::move(bytes));
    }

    // Switches `scope` to `root`, putting the root's bin folder before the old Path.
    CoreResult<void> switch_to(EnvironmentScope scope, std::string_view root) {
        auto prepend = [&](std::string_view path) {
            return std::string(root) + "\\bin;" + std::string(path);
        };
        return switch_scope(fake.platform, scope, root, prepend, replaced);
    }

    // The writes asked so far, as the fake logs them.
    std::vector<std::string> writes() const {
        std::vector<std::string> sets;
        for (const std::string& entry : fake.registry.log()) {
            if (entry.starts_with("set ")) {
                sets.push_back(entry);
            }
        }
        return sets;
    }
};

std::vector<std::uint8_t> utf16_bytes(std::u16string_view units) {
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : units) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

TEST_F(StoreTest, OpensTheTwoEnvironmentKeysWithTheirAccessRights) {
    ASSERT_TRUE(open_environment_key(fake.platform, EnvironmentScope::User, false));
    ASSERT_TRUE(open_environment_key(fake.platform, EnvironmentScope::User, true));
    ASSERT_TRUE(open_environment_key(fake.platform, EnvironmentScope::System, false));
    ASSERT_TRUE(open_environment_key(fake.platform, EnvironmentScope::System, true));
    EXPECT_EQ(fake.registry.log(),
              (std::vector<std::string>{
                  "open HKCU\\Environment r",
                  "open HKCU\\Environment rw",
                  "open HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment r",
                  "open HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment rw",
              }));
}

TEST_F(StoreTest, OpenFailuresNameTheKeyAndTheSystemMessage) {
    fake.registry.deny_open(k_hkcu, k_user_key, 5);
    fake.registry.deny_write(k_hklm, k_system_key, 5);

    auto user = open_environment_key(fake.platform, EnvironmentScope::User, false);
    ASSERT_FALSE(user);
    EXPECT_EQ(user.error().kind(), ErrorKind::Registry);
    EXPECT_EQ(user.error().to_text(),
              "Registry error: Cannot open HKCU\\Environment: Access is denied. (os error 5)");

    EXPECT_TRUE(open_environment_key(fake.platform, EnvironmentScope::System, false));
    auto system = open_environment_key(fake.platform, EnvironmentScope::System, true);
    ASSERT_FALSE(system);
    EXPECT_EQ(system.error().to_text(),
              "Registry error: Cannot open HKLM system environment (run as administrator?): "
              "Access is denied. (os error 5)");
}

TEST_F(StoreTest, RawValueKeepsBytesAndRejectsTypesAboveQword) {
    set_user("Big", k_reg_qword, {1, 2, 3, 4, 5, 6, 7, 8});
    set_user("Odd", 12, {1, 2});
    auto key = user_key();

    auto big = read_raw_value(*key, "big");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->type, k_reg_qword);
    EXPECT_EQ(big->bytes, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));

    auto odd = read_raw_value(*key, "Odd");
    ASSERT_FALSE(odd);
    EXPECT_EQ(odd.error(), k_error_bad_file_type);
    EXPECT_EQ(read_raw_value(*key, "Missing").error(), k_error_file_not_found);
}

TEST(DecodeRegistryText, DecodesUtf16LittleEndian) {
    // "é", U+1F600 as a surrogate pair, then the terminator.
    RegistryValue value{utf16_bytes(u"\u00e9\U0001F600"), k_reg_sz};
    value.bytes.insert(value.bytes.end(), {0, 0});
    EXPECT_EQ(decode_registry_text(value), "\u00e9\U0001F600");
}

TEST(DecodeRegistryText, IgnoresAnOddLastByteAndDropsEveryTrailingNul) {
    RegistryValue value{utf16_bytes(std::u16string(u"ab\0\0\0", 5)), k_reg_expand_sz};
    value.bytes.push_back(0x41);
    EXPECT_EQ(decode_registry_text(value), "ab");
    EXPECT_EQ(decode_registry_text(RegistryValue{{}, k_reg_sz}), "");
    EXPECT_EQ(decode_registry_text(RegistryValue{{0x41}, k_reg_sz}), "");
}

TEST(DecodeRegistryText, ReplacesUnpairedSurrogates) {
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0xD83D, 0};
    RegistryValue value{utf16_bytes(std::u16string_view(lone, 6)), k_reg_sz};
    EXPECT_EQ(decode_registry_text(value), "a\uFFFDb\uFFFD\uFFFD");
}

TEST(DecodeRegistryText, InnerNulsBecomeLineFeedsOnlyInMultiStrings) {
    std::u16string units(u"one\0two\0\0", 9);
    EXPECT_EQ(decode_registry_text(RegistryValue{utf16_bytes(units), k_reg_multi_sz}), "one\ntwo");
    EXPECT_EQ(decode_registry_text(RegistryValue{utf16_bytes(units), k_reg_sz}),
              std::string("one\0two", 7));
}

TEST_F(StoreTest, StringValueAcceptsTheThreeTextTypesOnly) {
    fake.registry.set_text(k_hkcu, k_user_key, "Expand", "%SystemRoot%\\java", k_reg_expand_sz);
    set_user("Multi", k_reg_multi_sz, utf16_bytes(std::u16string(u"x\0y\0\0", 5)));
    set_user("Dword", k_reg_dword, {1, 0, 0, 0});
    set_user("Binary", k_reg_binary, registry_text_bytes("C:\\jdk"));
    set_user("Beyond", 40, registry_text_bytes("C:\\jdk"));
    auto key = user_key();

    EXPECT_EQ(read_string_value(*key, "Expand").value(), "%SystemRoot%\\java");
    EXPECT_EQ(read_string_value(*key, "Multi").value(), "x\ny");
    EXPECT_EQ(read_string_value(*key, "Dword").error(), k_error_bad_file_type);
    EXPECT_EQ(read_string_value(*key, "Binary").error(), k_error_bad_file_type);
    EXPECT_EQ(read_string_value(*key, "Beyond").error(), k_error_bad_file_type);
    EXPECT_EQ(read_string_value(*key, "Missing").error(), k_error_file_not_found);
}

TEST_F(StoreTest, UserJavaHomeIsReadAsStoredOrNotAtAll) {
    EXPECT_EQ(read_user_java_home(fake.platform), std::nullopt);

    fake.registry.set_text(k_hklm, k_system_key, "JAVA_HOME", "C:\\system-jdk");
    EXPECT_EQ(read_user_java_home(fake.platform), std::nullopt);

    fake.registry.set_text(k_hkcu, k_user_key, "JAVA_HOME", "");
    EXPECT_EQ(read_user_java_home(fake.platform), "");

    fake.registry.set_text(k_hkcu, k_user_key, "java_home", "%ProgramFiles%\\jdk ",
                           k_reg_expand_sz);
    EXPECT_EQ(read_user_java_home(fake.platform), "%ProgramFiles%\\jdk ");

    set_user("JAVA_HOME", k_reg_dword, {1, 0, 0, 0});
    EXPECT_EQ(read_user_java_home(fake.platform), std::nullopt);

    fake.registry.set_text(k_hkcu, k_user_key, "JAVA_HOME", "C:\\jdk");
    fake.registry.deny_open(k_hkcu, k_user_key);
    EXPECT_EQ(read_user_java_home(fake.platform), std::nullopt);
}

TEST_F(StoreTest, SwitchWritesJavaHomeAsRegSzWithTheRootsExactBytes) {
    fake.registry.set_text(k_hkcu, k_user_key, "JAVA_HOME", "%OLD%", k_reg_expand_sz);
    ASSERT_TRUE(switch_to(EnvironmentScope::User, " D:\\J\u00e9k\\ "));
    auto value = fake.registry.get(k_hkcu, k_user_key, "JAVA_HOME");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, k_reg_sz);
    EXPECT_EQ(value->bytes, (std::vector<std::uint8_t>{' ',  0, 'D', 0, ':',  0, '\\', 0, 'J', 0,
                                                       0xE9, 0, 'k', 0, '\\', 0, ' ',  0, 0,   0}));
}

// Path is read and written whole and unexpanded under any casing of its name, in its own type,
// and written even when the rewrite changes nothing.
TEST_F(StoreTest, SwitchKeepsAPathsTextAndTypeWhole) {
    std::string long_path = "%SystemRoot%\\system32";
    while (long_path.size() < 40000) {
        long_path += ";C:\\Program Files\\Tool " + std::to_string(long_path.size());
    }
    fake.registry.set_text(k_hkcu, k_user_key, "PATH", long_path, k_reg_expand_sz);
    fake.registry.set_text(k_hklm, k_system_key, "path", "C:\\\u00c4rger;C:\\x", k_reg_sz);
    std::vector<std::string> seen;
    auto unchanged = [&](std::string_view text) { return seen.emplace_back(text); };

    ASSERT_TRUE(switch_scope(fake.platform, EnvironmentScope::User, "D:\\j", unchanged, replaced));
    ASSERT_TRUE(
        switch_scope(fake.platform, EnvironmentScope::System, "D:\\j", unchanged, replaced));
    EXPECT_EQ(seen, (std::vector<std::string>{long_path, "C:\\\u00c4rger;C:\\x"}));
    auto user = fake.registry.get(k_hkcu, k_user_key, "Path");
    EXPECT_EQ(user->type, k_reg_expand_sz);
    EXPECT_EQ(user->bytes, registry_text_bytes(long_path));
    auto system = fake.registry.get(k_hklm, k_system_key, "Path");
    EXPECT_EQ(system->type, k_reg_sz);
    EXPECT_EQ(system->bytes, registry_text_bytes("C:\\\u00c4rger;C:\\x"));
    EXPECT_EQ(writes().size(), 4u);
}

// A Path that exists but cannot be read faithfully must stop the switch: reading it as the
// empty text would replace it by the new entry alone.
TEST_F(StoreTest, SwitchNeverOverwritesAPathItCannotRead) {
    struct Case {
        std::uint32_t type;
        std::vector<std::uint8_t> bytes;
        std::string expected;
        std::uint32_t query_failure = 0;
    };
    const std::string bad_type =
        "The file type being saved or retrieved has been blocked. (os error 222)";
    const char16_t lone_surrogate[] = {u'C', u':', 0xD800, 0};
    const Case cases[] = {
        {k_reg_dword, {1, 0, 0, 0}, bad_type},
        {k_reg_binary, registry_text_bytes("C:\\Windows"), bad_type},
        {k_reg_none, registry_text_bytes("C:\\Windows"), bad_type},
        {13, registry_text_bytes("C:\\Windows"), bad_type},
        {k_reg_multi_sz, utf16_bytes(std::u16string(u"C:\\a\0C:\\b\0\0", 11)), bad_type},
        {k_reg_expand_sz, utf16_bytes(std::u16string_view(lone_surrogate, 4)),
         "Unknown error 1113. (os error 1113)"},
        {k_reg_sz, registry_text_bytes("C:\\Windows"), "Access is denied. (os error 5)", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        fake.registry.set(k_hkcu, k_user_key, "Path", c.type, c.bytes);
        fake.registry.set(k_hklm, k_system_key, "Path", c.type, c.bytes);
        if (c.query_failure != 0) {
            fake.registry.fail_query("Path", c.query_failure);
        }
        auto user = switch_to(EnvironmentScope::User, "D:\\jdk21");
        ASSERT_FALSE(user);
        EXPECT_EQ(user.error().to_text(), "Registry error: Cannot read Path: " + c.expected);
        auto system = switch_to(EnvironmentScope::System, "D:\\jdk21");
        ASSERT_FALSE(system);
        EXPECT_EQ(system.error().to_text(),
                  "Registry error: Cannot read system Path: " + c.expected);
        EXPECT_EQ(fake.registry.get(k_hkcu, k_user_key, "Path")->bytes, c.bytes);
    }
    EXPECT_TRUE(writes().empty());
    EXPECT_TRUE(replaced.empty());
}

TEST_F(StoreTest, SwitchWriteFailuresNameTheValueAndKeepIt) {
    struct Case {
        EnvironmentScope scope;
        std::string_view name;
        std::uint32_t code;
        std::string expected;
    };
    const Case cases[] = {
        {EnvironmentScope::User, "JAVA_HOME", 1021,
         "Cannot write JAVA_HOME: Unknown error 1021. (os error 1021)"},
        {EnvironmentScope::System, "JAVA_HOME", 1021,
         "Cannot write system JAVA_HOME: Unknown error 1021. (os error 1021)"},
        {EnvironmentScope::User, "Path", 5, "Cannot write Path: Access is denied. (os error 5)"},
        {EnvironmentScope::System, "Path", 1021,
         "Cannot write system Path: Unknown error 1021. (os error 1021)"},
        // A code without message text leaves no doubled space behind the prefix.
        {EnvironmentScope::User, "Path", fakes::MemoryRegistry::k_code_without_message,
         "Cannot write Path: (os error 13000)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const RegistryRoot root = c.scope == EnvironmentScope::User ? k_hkcu : k_hklm;
        const std::string_view key = c.scope == EnvironmentScope::User ? k_user_key : k_system_key;
        fake.registry.set_text(root, key, c.name, "C:\\old");
        fake.registry.fail_set("JAVA_HOME", 0);
        fake.registry.fail_set("Path", 0);
        fake.registry.fail_set(c.name, c.code);
        auto result = switch_to(c.scope, "D:\\jdk21");
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().to_text(), "Registry error: " + c.expected);
        EXPECT_EQ(fake.registry.get_text(root, key, c.name), "C:\\old");
    }
}

}  // namespace
}  // namespace corvel
