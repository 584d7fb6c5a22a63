#include "environment/activation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "config/config.h"
#include "config/config_operations.h"
#include "fake_platform.h"
#include "text/text.h"

namespace corvel {
namespace {

constexpr RegistryRoot k_hkcu = RegistryRoot::CurrentUser;
constexpr RegistryRoot k_hklm = RegistryRoot::LocalMachine;
constexpr std::string_view k_user_key = "Environment";
constexpr std::string_view k_system_key =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr std::string_view k_user_prefix = "HKCU\\Environment\\";
constexpr std::string_view k_system_prefix =
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment\\";

// Refuses writes of the value "Path" in the system key only, with code 1021.
class SystemPathRefused : public RegistryStore {
public:
    explicit SystemPathRefused(fakes::MemoryRegistry& inner) : m_inner(inner) {}

    std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_key(
        RegistryRoot root, std::string_view subkey, std::uint32_t access) override {
        auto key = m_inner.open_key(root, subkey, access);
        if (!key || root != RegistryRoot::LocalMachine) {
            return key;
        }
        return std::make_unique<Key>(std::move(*key));
    }
    std::string error_message(std::uint32_t code) const override {
        return m_inner.error_message(code);
    }
    void broadcast_environment_change() override {
        m_inner.broadcast_environment_change();
    }

private:
    class Key : public RegistryKey {
    public:
        explicit Key(std::unique_ptr<RegistryKey> inner) : m_key(std::move(inner)) {}
        std::expected<RegistryValue, std::uint32_t> query_value(
            std::string_view name) const override {
            return m_key->query_value(name);
        }
        std::uint32_t set_value(std::string_view name, std::uint32_t type,
                                std::span<const std::uint8_t> data) override {
            return name == "Path" ? 1021 : m_key->set_value(name, type, data);
        }
        std::uint32_t delete_value(std::string_view name) override {
            return m_key->delete_value(name);
        }
        std::expected<std::string, std::uint32_t> enum_subkey(std::uint32_t index) const override {
            return m_key->enum_subkey(index);
        }
        std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_subkey(
            std::string_view name, std::uint32_t access) const override {
            return m_key->open_subkey(name, access);
        }

    private:
        std::unique_ptr<RegistryKey> m_key;
    };

    fakes::MemoryRegistry& m_inner;
};

struct ActivationTest : ::testing::Test {
    fakes::FakePlatform fake;

    ActivationTest() {
        fake.registry.add_key(k_hkcu, k_user_key);
        fake.registry.add_key(k_hklm, k_system_key);
        fake.add_jdk("D:\\jdk21");
        fake.add_jdk("C:\\Java\\jdk-17");
        register_jdks({{"java21", "D:\\jdk21"}, {"java17", "C:\\Java\\jdk-17"}});
    }

    // Writes config.json by hand, the way a user could have left it.
    void register_jdks(std::vector<std::pair<std::string, std::string>> jdks,
                       std::string_view current = "null") {
        std::string text = "{\n  \"current\": " + std::string(current) + ",\n  \"versions\": {";
        for (std::size_t i = 0; i < jdks.size(); ++i) {
            text += (i == 0 ? "\n    " : ",\n    ") + fakes::json_string(jdks[i].first) +
                    ": {\"path\": " + fakes::json_string(jdks[i].second) +
                    ", \"detected_version\": null, \"vendor\": null}";
        }
        text += "\n  }\n}";
        fake.files.add_file(fakes::FakePlatform::k_config_path, text);
    }

    std::optional<std::string> recorded_current() const {
        auto text = fake.files.content(fakes::FakePlatform::k_config_path);
        auto config = parse_config(text.value_or(""));
        EXPECT_TRUE(config.has_value());
        return config ? config->current : std::nullopt;
    }

    // The writes and broadcasts so far, with the key paths shortened to HKCU: and HKLM:.
    std::vector<std::string> effects() const {
        std::vector<std::string> found;
        for (const std::string& entry : fake.registry.log()) {
            if (entry == "broadcast") {
                found.push_back(entry);
            } else if (entry.starts_with("set ")) {
                std::string name = entry.substr(4);
                if (name.starts_with(k_user_prefix)) {
                    name = "HKCU:" + name.substr(k_user_prefix.size());
                } else if (name.starts_with(k_system_prefix)) {
                    name = "HKLM:" + name.substr(k_system_prefix.size());
                }
                found.push_back(name);
            }
        }
        return found;
    }

    std::optional<std::string> user(std::string_view name) const {
        return fake.registry.get_text(k_hkcu, k_user_key, name);
    }
    std::optional<std::string> system(std::string_view name) const {
        return fake.registry.get_text(k_hklm, k_system_key, name);
    }
};

const std::vector<std::string> k_bins = {"D:\\jdk21\\bin", "C:\\Java\\jdk-17\\bin"};

TEST_F(ActivationTest, WritesUserThenSystemThenBroadcasts) {
    fake.registry.set_text(k_hkcu, k_user_key, "Path", "C:\\Java\\jdk-17\\bin;%USERPROFILE%\\go",
                           k_reg_sz);
    fake.registry.set_text(k_hklm, k_system_key, "Path", "%SystemRoot%\\system32", k_reg_expand_sz);

    auto outcome = apply_environment(fake.platform, "D:\\jdk21", k_bins);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->system_error, std::nullopt);
    EXPECT_EQ(effects(),
              (std::vector<std::string>{"HKCU:JAVA_HOME 1", "HKCU:Path 1", "HKLM:JAVA_HOME 1",
                                        "HKLM:Path 2", "broadcast"}));
    EXPECT_EQ(user("JAVA_HOME"), "D:\\jdk21");
    EXPECT_EQ(user("Path"), "D:\\jdk21\\bin;%USERPROFILE%\\go");
    EXPECT_EQ(system("JAVA_HOME"), "D:\\jdk21");
    EXPECT_EQ(system("Path"), "D:\\jdk21\\bin;%SystemRoot%\\system32");
}

TEST_F(ActivationTest, UserKeyThatCannotBeOpenedStopsEverything) {
    fake.registry.deny_write(k_hkcu, k_user_key);
    auto outcome = apply_environment(fake.platform, "D:\\jdk21", k_bins);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().to_text(),
              "Registry error: Cannot open HKCU\\Environment: Access is denied. (os error 5)");
    EXPECT_TRUE(effects().empty());
}

TEST_F(ActivationTest, UserJavaHomeWriteFailureStopsBeforeThePath) {
    fake.registry.set_text(k_hkcu, k_user_key, "Path", "C:\\Windows");
    fake.registry.fail_set("JAVA_HOME", 1021);
    auto outcome = apply_environment(fake.platform, "D:\\jdk21", k_bins);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().to_text(),
              "Registry error: Cannot write JAVA_HOME: Unknown error 1021. (os error 1021)");
    EXPECT_EQ(effects(), (std::vector<std::string>{"HKCU:JAVA_HOME 1"}));
    EXPECT_EQ(user("Path"), "C:\\Windows");
}

// A user Path that cannot be written must not leave JAVA_HOME naming another JDK than Path:
// JAVA_HOME goes back to its type and bytes, or away when there was none.
TEST_F(ActivationTest, UserPathWriteFailurePutsJavaHomeBackWithoutBroadcasting) {
    fake.registry.set_text(k_hkcu, k_user_key, "Path", "C:\\Windows");
    fake.registry.fail_set("Path", 1021);
    for (bool existed : {false, true}) {
        SCOPED_TRACE(existed);
        if (existed) {
            fake.registry.set_text(k_hkcu, k_user_key, "JAVA_HOME", "%JDKS%\\17", k_reg_expand_sz);
        }
        auto before = fake.registry.get(k_hkcu, k_user_key, "JAVA_HOME");
        auto outcome = apply_environment(fake.platform, "D:\\jdk21", k_bins);
        ASSERT_FALSE(outcome);
        EXPECT_EQ(outcome.error().to_text(),
                  "Registry error: Cannot write Path: Unknown error 1021. (os error 1021)");
        auto after = fake.registry.get(k_hkcu, k_user_key, "JAVA_HOME");
        ASSERT_EQ(after.has_value(), existed);
        if (existed) {
            EXPECT_EQ(after->type, k_reg_expand_sz);
            EXPECT_EQ(after->bytes, before->bytes);
        }
        EXPECT_EQ(user("Path"), "C:\\Windows");
    }
    EXPECT_EQ(fake.registry.broadcasts(), 0);
}

// Another program may change JAVA_HOME while the Path write fails: its value stays, named.
TEST_F(ActivationTest, UserPathWriteFailureLeavesAJavaHomeChangedMeanwhile) {
    fake.registry.set_text(k_hkcu, k_user_key, "Path", "C:\\Windows");
    fake.registry.fail_set("Path", 1021);
    fake.registry.before_write(
        "Path", [&] { fake.registry.set_text(k_hkcu, k_user_key, "JAVA_HOME", "C:\\Other"); });
    auto outcome = apply_environment(fake.platform, "D:\\jdk21", k_bins);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().to_text(),
              "Registry error: Cannot write Path: Unknown error 1021. (os error 1021); the user "
              "JAVA_HOME, which another program changed in the meantime, was left as it is");
    EXPECT_EQ(user("JAVA_HOME"), "C:\\Other");
}

// A user Path that exists but cannot be read as text must not be replaced by the new entry
// alone; the user scope is left exactly as it was.
TEST_F(ActivationTest, UnreadableUserPathFailsWithNothingWritten) {
    fake.registry.set_text(k_hkcu, k_user_key, "JAVA_HOME", "C:\\Java\\jdk-17");
    fake.registry.set(k_hkcu, k_user_key, "Path", k_reg_dword, {1, 0, 0, 0});
    auto outcome = apply_environment(fake.platform, "D:\\jdk21", k_bins);
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().to_text(),
              "Registry error: Cannot read Path: The file type being "
              "saved or retrieved has been blocked. (os error 222)");
    EXPECT_TRUE(effects().empty());
    EXPECT_EQ(user("JAVA_HOME"), "C:\\Java\\jdk-17");
    EXPECT_EQ(fake.registry.get(k_hkcu, k_user_key, "Path")->type, k_reg_dword);
}

TEST_F(ActivationTest, SystemKeyRefusedIsRecordedAndThePathNeverAttempted) {
    fake.registry.set_text(k_hklm, k_system_key, "Path", "C:\\Windows", k_reg_expand_sz);
    fake.registry.deny_write(k_hklm, k_system_key, 5);
    auto outcome = apply_environment(fake.platform, "D:\\jdk21", k_bins);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->system_error,
              "Registry error: Cannot open HKLM system environment (run as administrator?): "
              "Access is denied. (os error 5)");
    EXPECT_EQ(effects(),
              (std::vector<std::string>{"HKCU:JAVA_HOME 1", "HKCU:Path 2", "broadcast"}));
    EXPECT_EQ(system("Path"), "C:\\Windows");
}

TEST_F(ActivationTest, SystemPathWriteFailureKeepsTheSystemJavaHome) {
    fake.registry.set_text(k_hklm, k_system_key, "Path", "C:\\Windows", k_reg_expand_sz);
    SystemPathRefused registry(fake.registry);
    Platform platform{fake.files,         registry,         fake.processes,
                      fake.known_folders, fake.environment, fake.console};

    auto outcome = apply_environment(platform, "D:\\jdk21", k_bins);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->system_error,
              "Registry error: Cannot write system Path: Unknown error 1021. (os error 1021)");
    EXPECT_EQ(effects(), (std::vector<std::string>{"HKCU:JAVA_HOME 1", "HKCU:Path 2",
                                                   "HKLM:JAVA_HOME 1", "broadcast"}));
    EXPECT_EQ(system("JAVA_HOME"), "D:\\jdk21");
    EXPECT_EQ(system("Path"), "C:\\Windows");
    EXPECT_EQ(user("Path"), "D:\\jdk21\\bin");
}

TEST_F(ActivationTest, UnreadableSystemPathIsAWarningAndLeavesTheSystemScopeAlone) {
    fake.registry.set_text(k_hklm, k_system_key, "JAVA_HOME", "C:\\Java\\jdk-17");
    fake.registry.set(k_hklm, k_system_key, "Path", k_reg_multi_sz,
                      fakes::registry_text_bytes("C:\\Windows"));
    auto outcome = apply_environment(fake.platform, "D:\\jdk21", k_bins);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->system_error,
              "Registry error: Cannot read system Path: The file type being saved or retrieved "
              "has been blocked. (os error 222)");
    EXPECT_EQ(effects(),
              (std::vector<std::string>{"HKCU:JAVA_HOME 1", "HKCU:Path 2", "broadcast"}));
    EXPECT_EQ(system("JAVA_HOME"), "C:\\Java\\jdk-17");
    EXPECT_EQ(fake.registry.get(k_hklm, k_system_key, "Path")->type, k_reg_multi_sz);
}

TEST_F(ActivationTest, UseRecordsTheAliasAfterTheEnvironment) {
    auto warning = use_version(fake.platform, "java21");
    ASSERT_TRUE(warning);
    EXPECT_EQ(*warning, std::nullopt);
    EXPECT_EQ(recorded_current(), "java21");
    EXPECT_EQ(effects(),
              (std::vector<std::string>{"HKCU:JAVA_HOME 1", "HKCU:Path 2", "HKLM:JAVA_HOME 1",
                                        "HKLM:Path 2", "broadcast"}));
    EXPECT_EQ(user("Path"), "D:\\jdk21\\bin");
    EXPECT_EQ(system("Path"), "D:\\jdk21\\bin");
}

TEST_F(ActivationTest, UseWithoutAdministratorRightsWarns) {
    fake.registry.deny_write(k_hklm, k_system_key, 5);
    auto warning = use_version(fake.platform, "java21");
    ASSERT_TRUE(warning);
    ASSERT_TRUE(warning->has_value());
    EXPECT_EQ(**warning, k_system_not_updated_warning);
    EXPECT_EQ(count_characters(**warning), 142u);
    EXPECT_EQ(recorded_current(), "java21");
    EXPECT_EQ(fake.registry.broadcasts(), 1);
    EXPECT_EQ(system("JAVA_HOME"), std::nullopt);
}

TEST_F(ActivationTest, UseRefusesUnknownAliasesExactly) {
    for (std::string_view alias : {"Java21", "java21 ", "", "java"}) {
        auto result = use_version(fake.platform, alias);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().kind(), ErrorKind::AliasNotFound);
        EXPECT_EQ(result.error().payload(), alias);
    }
    EXPECT_TRUE(effects().empty());
    EXPECT_EQ(recorded_current(), std::nullopt);
}

TEST_F(ActivationTest, UseRefusesAFolderThatIsNoLongerAJdk) {
    fake.files.erase("D:\\jdk21\\bin\\javac.exe");
    auto result = use_version(fake.platform, "java21");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().to_text(),
              "Invalid JDK path: bin\\javac.exe not found in: D:\\jdk21 "
              "(this looks like a JRE, not a full JDK)");
    EXPECT_TRUE(effects().empty());
    EXPECT_EQ(recorded_current(), std::nullopt);
}

TEST_F(ActivationTest, UserFailureLeavesTheConfigurationAlone) {
    fake.registry.deny_open(k_hkcu, k_user_key);
    auto result = use_version(fake.platform, "java21");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind(), ErrorKind::Registry);
    EXPECT_EQ(recorded_current(), std::nullopt);
}

// config.json held open by another program: the switch is undone, every value back with its
// type and bytes (a value that did not exist deleted again), and announced once more.
TEST_F(ActivationTest, SaveFailureUndoesTheSwitch) {
    fake.registry.set_text(k_hkcu, k_user_key, "JAVA_HOME", "%JDKS%\\17", k_reg_expand_sz);
    fake.registry.set_text(k_hkcu, k_user_key, "Path", "C:\\Java\\jdk-17\\bin;C:\\Tools", k_reg_sz);
    fake.registry.set_text(k_hklm, k_system_key, "Path", "%SystemRoot%", k_reg_expand_sz);
    auto snapshot = [&] {
        std::vector<std::optional<RegistryValue>> values;
        for (auto [root, key] : {std::pair{k_hkcu, k_user_key}, std::pair{k_hklm, k_system_key}}) {
            for (const char* name : {"JAVA_HOME", "Path"}) {
                values.push_back(fake.registry.get(root, key, name));
            }
        }
        return values;
    };
    const auto before = snapshot();
    const auto config_before = fake.files.content(fakes::FakePlatform::k_config_path);
    bool restore_fails = false;
    fake.files.set_failure_hook(
        [&](std::string_view op, std::string_view) -> std::optional<IoError> {
            if (op != "replace") {
                return std::nullopt;
            }
            if (restore_fails) {
                fake.registry.fail_set("Path", 1021);
            }
            return IoError{"Access is denied.", 5};
        });

    auto result = use_version(fake.platform, "java21");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().to_text(),
              "Configuration error: Cannot write config file: Access is denied. (os error 5)");
    const auto after = snapshot();
    for (std::size_t i = 0; i < before.size(); ++i) {
        ASSERT_EQ(after[i].has_value(), before[i].has_value()) << i;
        if (before[i]) {
            EXPECT_EQ(after[i]->type, before[i]->type) << i;
            EXPECT_EQ(after[i]->bytes, before[i]->bytes) << i;
        }
    }
    EXPECT_EQ(fake.files.content(fakes::FakePlatform::k_config_path), config_before);
    EXPECT_EQ(fake.registry.broadcasts(), 2);

    restore_fails = true;
    result = use_version(fake.platform, "java21");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().to_text(),
              "The environment was switched to 'java21' but config.json was not updated "
              "(Configuration error: Cannot write config file: Access is denied. (os error 5)), "
              "and putting the previous JAVA_HOME and Path back failed: Registry error: Cannot "
              "restore system Path: Unknown error 1021. (os error 1021)");
}

// An installer that changes Path while config.json cannot be saved keeps its change: the undo
// puts back only what still holds this use's values, and names what it left.
TEST_F(ActivationTest, SaveFailureUndoLeavesWhatAnotherProgramChangedMeanwhile) {
    fake.registry.set_text(k_hkcu, k_user_key, "JAVA_HOME", "C:\\Java\\jdk-17");
    fake.registry.set_text(k_hkcu, k_user_key, "Path", "C:\\Tools", k_reg_expand_sz);
    fake.registry.set_text(k_hklm, k_system_key, "Path", "%SystemRoot%", k_reg_expand_sz);
    fake.files.set_failure_hook(
        [&](std::string_view op, std::string_view) -> std::optional<IoError> {
            if (op != "replace") {
                return std::nullopt;
            }
            fake.registry.set_text(k_hkcu, k_user_key, "Path", "D:\\jdk21\\bin;C:\\Installer",
                                   k_reg_expand_sz);
            fake.registry.set_text(k_hklm, k_system_key, "Path", "C:\\Installer", k_reg_sz);
            return IoError{"Access is denied.", 5};
        });

    auto result = use_version(fake.platform, "java21");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().to_text(),
              "Configuration error: Cannot write config file: Access is denied. (os error 5); the "
              "user Path and the system Path, which another program changed in the meantime, "
              "were left as they are");
    EXPECT_EQ(user("Path"), "D:\\jdk21\\bin;C:\\Installer");
    EXPECT_EQ(system("Path"), "C:\\Installer");
    EXPECT_EQ(user("JAVA_HOME"), "C:\\Java\\jdk-17");
    EXPECT_EQ(system("JAVA_HOME"), std::nullopt);
    EXPECT_EQ(recorded_current(), std::nullopt);
}

// A switch reads each scope's Path once: what it rewrites and what it would put back come from
// the same read.
TEST_F(ActivationTest, UseReadsEachPathOnce) {
    ASSERT_TRUE(use_version(fake.platform, "java21"));
    const auto& log = fake.registry.log();
    for (std::string_view key : {k_user_prefix, k_system_prefix}) {
        EXPECT_EQ(std::count(log.begin(), log.end(), "query " + std::string(key) + "Path"), 1);
    }
}

// Without config.json no alias can be found, and nothing is created for finding none.
TEST_F(ActivationTest, FailingWithoutAConfigurationCreatesNothing) {
    const std::string folder = "C:\\Users\\user\\AppData\\Roaming\\corvel";
    fake.files.erase(folder);
    auto used = use_version(fake.platform, "java21");
    auto removed = remove_version(fake.platform, "java21");
    ASSERT_FALSE(used);
    ASSERT_FALSE(removed);
    EXPECT_EQ(used.error().to_text(), "Alias not found: 'java21'");
    EXPECT_EQ(removed.error().to_text(), "Alias not found: 'java21'");
    EXPECT_FALSE(fake.files.exists(folder));
}

// A ';' would split the entry in Path, a '%' would be expanded there, and a relative root would
// be resolved against whatever folder each program starts in: such a root is never activated.
TEST_F(ActivationTest, UseRefusesRootsThatCannotStandInPathBeforeWritingAnything) {
    const std::vector<std::pair<std::string, std::string>> roots = {
        {"semi", "C:\\jdks\\semi;colon"}, {"percent", "C:\\jdks\\%PATH%"},
        {"relative", "jdks\\c"},          {"drive", "C:"},
        {"device", "\\\\?\\C:\\jdks\\a"}, {"device-dot", "//./C:/jdks/a"}};
    register_jdks(roots);
    for (const auto& [alias, root] : roots) {
        fake.add_jdk(root);
    }
    for (const auto& [alias, root] : roots) {
        SCOPED_TRACE(alias);
        auto result = use_version(fake.platform, alias);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().kind(), ErrorKind::InvalidJdkPath);
    }
    EXPECT_TRUE(effects().empty());
    EXPECT_EQ(recorded_current(), std::nullopt);
}

// The whole switch happens under the configuration lock, so a second `use` cannot write the
// registry between this one's registry writes and its save.
TEST_F(ActivationTest, UseTakesTheLockBeforeTouchingTheRegistry) {
    fake.files.hold_locks_elsewhere();
    auto result = use_version(fake.platform, "java21");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().to_text(),
              "Configuration error: Cannot lock config file: another corvel process has held it "
              "for 10 seconds; try again when it has finished");
    EXPECT_TRUE(fake.registry.log().empty());
    EXPECT_EQ(recorded_current(), std::nullopt);
}

TEST_F(ActivationTest, UsePassesTheRootAsStoredAndRemovesEveryRegisteredBin) {
    fake.add_jdk("D:\\jdk22");
    fake.add_jdk("J:\\");
    register_jdks({{"java21", "D:\\jdk21"},
                   {"java22", "D:\\jdk22\\"},
                   {"java17", "C:\\Java\\jdk-17"},
                   {"jroot", "J:\\"}});
    fake.registry.set_text(k_hkcu, k_user_key, "Path",
                           "D:\\JDK21\\BIN;C:\\Tools;c:\\java\\jdk-17\\bin;D:\\jdk22\\bin",
                           k_reg_expand_sz);

    ASSERT_TRUE(use_version(fake.platform, "java22"));
    EXPECT_EQ(user("JAVA_HOME"), "D:\\jdk22\\");
    EXPECT_EQ(user("Path"), "D:\\jdk22\\bin;C:\\Tools");

    ASSERT_TRUE(use_version(fake.platform, "java22"));
    EXPECT_EQ(user("Path"), "D:\\jdk22\\bin;C:\\Tools");

    // The root of a drive keeps its backslash: "J:" alone is the current folder of drive J.
    ASSERT_TRUE(use_version(fake.platform, "jroot"));
    EXPECT_EQ(user("JAVA_HOME"), "J:\\");
    EXPECT_EQ(user("Path"), "J:\\bin;C:\\Tools");

    ASSERT_TRUE(use_version(fake.platform, "java21"));
    EXPECT_EQ(user("Path"), "D:\\jdk21\\bin;C:\\Tools");
    EXPECT_EQ(recorded_current(), "java21");
}

TEST_F(ActivationTest, SwitchingBackAndForthKeepsOneJdkEntryAndEverythingElse) {
    const std::string others =
        "%SystemRoot%\\system32;C:\\Program Files\\Git\\cmd;C:\\Tools;C:\\Tools;"
        "%USERPROFILE%\\.cargo\\bin;C:\\\u00dcbung\\bin";
    fake.registry.set_text(k_hkcu, k_user_key, "Path",
                           "d:\\JDK21\\bin;" + others + ";C:\\JAVA\\jdk-17\\BIN;D:\\jdk21\\bin",
                           k_reg_expand_sz);
    fake.registry.set_text(k_hklm, k_system_key, "Path", others, k_reg_sz);

    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(use_version(fake.platform, "java21"));
        EXPECT_EQ(user("Path"), "D:\\jdk21\\bin;" + others);
        ASSERT_TRUE(use_version(fake.platform, "java17"));
        EXPECT_EQ(user("Path"), "C:\\Java\\jdk-17\\bin;" + others);
        EXPECT_EQ(system("Path"), "C:\\Java\\jdk-17\\bin;" + others);
    }
    EXPECT_EQ(fake.registry.get(k_hkcu, k_user_key, "Path")->type, k_reg_expand_sz);
    EXPECT_EQ(fake.registry.get(k_hklm, k_system_key, "Path")->type, k_reg_sz);
    EXPECT_EQ(recorded_current(), "java17");
}

}  // namespace
}  // namespace corvel
