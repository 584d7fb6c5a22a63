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

TEST_F(StoreTest, MissingPathReadsAsEmpty) {
    auto path = read_path_value(fake.platform, EnvironmentScope::User);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, "");
}

TEST_F(StoreTest, PathIsReadWholeUnexpandedUnderAnyCasingOfItsName) {
    std::string long_path = "%SystemRoot%\\system32";
    while (long_path.size() < 40000) {
        long_path += ";C:\\Program Files\\Tool " + std::to_string(long_path.size());
    }
    fake.registry.set_text(k_hkcu, k_user_key, "PATH", long_path, k_reg_expand_sz);
    fake.registry.set_text(k_hklm, k_system_key, "path", "C:\\\u00c4rger;C:\\x", k_reg_sz);

    EXPECT_EQ(read_path_value(fake.platform, EnvironmentScope::User).value(), long_path);
    EXPECT_EQ(read_path_value(fake.platform, EnvironmentScope::System).value(),
              "C:\\\u00c4rger;C:\\x");
}

// A Path that exists but cannot be read faithfully must stop the caller: reading it as the
// empty text would make the rewrite replace it by the new entry alone.
TEST_F(StoreTest, PathThatExistsButCannotBeReadIsAnError) {
    struct Case {
        std::uint32_t type;
        std::vector<std::uint8_t> bytes;
        std::string expected;
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
    };
    for (const Case& c : cases) {
        fake.registry.set(k_hkcu, k_user_key, "Path", c.type, c.bytes);
        fake.registry.set(k_hklm, k_system_key, "Path", c.type, c.bytes);
        auto user = read_path_value(fake.platform, EnvironmentScope::User);
        ASSERT_FALSE(user) << c.type;
        EXPECT_EQ(user.error().to_text(), "Registry error: Cannot read Path: " + c.expected);
        auto system = read_path_value(fake.platform, EnvironmentScope::System);
        ASSERT_FALSE(system) << c.type;
        EXPECT_EQ(system.error().to_text(),
                  "Registry error: Cannot read system Path: " + c.expected);
    }
}

TEST_F(StoreTest, PathQueryFailureOtherThanMissingIsAnError) {
    fake.registry.set_text(k_hkcu, k_user_key, "Path", "C:\\Windows");
    fake.registry.fail_query("Path", 5);
    auto path = read_path_value(fake.platform, EnvironmentScope::User);
    ASSERT_FALSE(path);
    EXPECT_EQ(path.error().to_text(),
              "Registry error: Cannot read Path: Access is denied. (os error 5)");
}

TEST_F(StoreTest, JavaHomeIsWrittenAsRegSzWithTheTextUnchanged) {
    fake.registry.set_text(k_hkcu, k_user_key, "JAVA_HOME", "%OLD%", k_reg_expand_sz);
    ASSERT_TRUE(set_java_home(fake.platform, EnvironmentScope::User, " D:\\J\u00e9k\\ "));
    auto value = fake.registry.get(k_hkcu, k_user_key, "JAVA_HOME");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, k_reg_sz);
    EXPECT_EQ(value->bytes, (std::vector<std::uint8_t>{' ',  0, 'D', 0, ':',  0, '\\', 0, 'J', 0,
                                                       0xE9, 0, 'k', 0, '\\', 0, ' ',  0, 0,   0}));

    ASSERT_TRUE(set_java_home(fake.platform, EnvironmentScope::System, ""));
    EXPECT_EQ(fake.registry.get(k_hklm, k_system_key, "JAVA_HOME")->bytes,
              (std::vector<std::uint8_t>{0, 0}));
    EXPECT_EQ(fake.registry.log().back(),
              "set HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session "
              "Manager\\Environment\\JAVA_HOME 1");
}

TEST_F(StoreTest, JavaHomeWriteFailuresKeepTheOldValue) {
    fake.registry.set_text(k_hkcu, k_user_key, "JAVA_HOME", "C:\\old");
    fake.registry.set_text(k_hklm, k_system_key, "JAVA_HOME", "C:\\old");
    fake.registry.fail_set("JAVA_HOME", 1021);

    auto user = set_java_home(fake.platform, EnvironmentScope::User, "D:\\jdk21");
    ASSERT_FALSE(user);
    EXPECT_EQ(user.error().to_text(),
              "Registry error: Cannot write JAVA_HOME: Unknown error 1021. (os error 1021)");
    auto system = set_java_home(fake.platform, EnvironmentScope::System, "D:\\jdk21");
    ASSERT_FALSE(system);
    EXPECT_EQ(system.error().to_text(),
              "Registry error: Cannot write system JAVA_HOME: Unknown "
              "error 1021. (os error 1021)");
    EXPECT_EQ(fake.registry.get_text(k_hkcu, k_user_key, "JAVA_HOME"), "C:\\old");
    EXPECT_EQ(fake.registry.get_text(k_hklm, k_system_key, "JAVA_HOME"), "C:\\old");
}

TEST_F(StoreTest, PathWriteKeepsTheStoredTextType) {
    fake.registry.set_text(k_hkcu, k_user_key, "Path", "C:\\a", k_reg_sz);
    fake.registry.set_text(k_hklm, k_system_key, "PATH", "C:\\b", k_reg_expand_sz);

    ASSERT_TRUE(write_path_value(fake.platform, EnvironmentScope::User, "D:\\x;C:\\a"));
    ASSERT_TRUE(write_path_value(fake.platform, EnvironmentScope::System, "D:\\x;C:\\b"));

    auto user = fake.registry.get(k_hkcu, k_user_key, "Path");
    EXPECT_EQ(user->type, k_reg_sz);
    EXPECT_EQ(user->bytes, registry_text_bytes("D:\\x;C:\\a"));
    auto system = fake.registry.get(k_hklm, k_system_key, "Path");
    EXPECT_EQ(system->type, k_reg_expand_sz);
    EXPECT_EQ(system->bytes, registry_text_bytes("D:\\x;C:\\b"));
}

TEST_F(StoreTest, MissingPathIsCreatedAsExpandString) {
    ASSERT_TRUE(write_path_value(fake.platform, EnvironmentScope::User, ""));
    auto value = fake.registry.get(k_hkcu, k_user_key, "Path");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, k_reg_expand_sz);
    EXPECT_EQ(value->bytes, (std::vector<std::uint8_t>{0, 0}));
}

TEST_F(StoreTest, PathWriteLeavesAPathItCannotReadUntouched) {
    const std::vector<std::uint8_t> multi = utf16_bytes(std::u16string(u"C:\\a\0C:\\b\0\0", 11));
    fake.registry.set(k_hkcu, k_user_key, "Path", k_reg_multi_sz, multi);
    fake.registry.set(k_hklm, k_system_key, "Path", k_reg_dword, {7, 0, 0, 0});

    auto user = write_path_value(fake.platform, EnvironmentScope::User, "D:\\x");
    ASSERT_FALSE(user);
    EXPECT_EQ(user.error().to_text(),
              "Registry error: Cannot read Path: The file type being "
              "saved or retrieved has been blocked. (os error 222)");
    EXPECT_FALSE(write_path_value(fake.platform, EnvironmentScope::System, "D:\\x"));

    EXPECT_EQ(fake.registry.get(k_hkcu, k_user_key, "Path")->bytes, multi);
    EXPECT_EQ(fake.registry.get(k_hklm, k_system_key, "Path")->type, k_reg_dword);
    for (const std::string& entry : fake.registry.log()) {
        EXPECT_FALSE(entry.starts_with("set ")) << entry;
    }
}

TEST_F(StoreTest, PathWriteFailureKeepsTheOldValue) {
    fake.registry.set_text(k_hklm, k_system_key, "Path", "C:\\Windows", k_reg_expand_sz);
    fake.registry.fail_set("Path", 1021);
    auto result = write_path_value(fake.platform, EnvironmentScope::System, "D:\\jdk21\\bin");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().to_text(),
              "Registry error: Cannot write system Path: Unknown error 1021. (os error 1021)");
    EXPECT_EQ(fake.registry.get_text(k_hklm, k_system_key, "Path"), "C:\\Windows");

    fake.registry.fail_set("Path", 5);
    EXPECT_EQ(write_path_value(fake.platform, EnvironmentScope::User, "x").error().to_text(),
              "Registry error: Cannot write Path: Access is denied. (os error 5)");

    // A code without message text leaves no doubled space behind the prefix.
    fake.registry.fail_set("Path", fakes::MemoryRegistry::k_code_without_message);
    EXPECT_EQ(write_path_value(fake.platform, EnvironmentScope::User, "x").error().to_text(),
              "Registry error: Cannot write Path: (os error 13000)");
}

}  // namespace
}  // namespace corvel
