#include "config/config_operations.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "fake_platform.h"

namespace corvel {
namespace {

using fakes::FakePlatform;

constexpr std::string_view k_folder = "C:\\Users\\user\\AppData\\Roaming\\corvel";
constexpr std::string_view k_file = FakePlatform::k_config_path;
constexpr std::string_view k_lock = "C:\\Users\\user\\AppData\\Roaming\\corvel\\config.json.lock";

JdkEntry entry(std::string path, std::optional<std::string> version = "21.0.2",
               std::optional<std::string> vendor = "Eclipse Adoptium") {
    return JdkEntry{std::move(path), std::move(version), std::move(vendor)};
}

// A configuration file holding `config`, written the way corvel writes it.
void store(FakePlatform& fake, const Config& config) {
    fake.files.add_file(k_file, serialize_config(config));
}

std::vector<std::string> changes(const FakePlatform& fake) {
    std::vector<std::string> found;
    for (const std::string& entry : fake.files.log()) {
        if (entry.starts_with("write ") || entry.starts_with("replace ") ||
            entry.starts_with("remove ")) {
            found.push_back(entry);
        }
    }
    return found;
}

// ---- add_version -----------------------------------------------------------------------------

TEST(AddVersion, FirstAddCreatesTheFileWithoutSelectingTheJdk) {
    FakePlatform fake;
    auto config =
        add_version(fake.platform, "java21", entry("C:\\Java\\jdk-21", "21.0.2", "OpenJDK"));
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->current, std::nullopt);
    EXPECT_EQ(fake.files.content(k_file),
              "{\n  \"current\": null,\n  \"versions\": {\n    \"java21\": {\n      \"path\": "
              "\"C:\\\\Java\\\\jdk-21\",\n      \"detected_version\": \"21.0.2\",\n      "
              "\"vendor\": \"OpenJDK\"\n    }\n  }\n}");
    EXPECT_EQ(load_config(fake.platform).value(), *config);
}

TEST(AddVersion, KeepsEverythingElseAndTheCurrentAlias) {
    FakePlatform fake;
    Config before;
    before.current = "java17";
    before.versions["java17"] = entry("C:\\jdk17", "17.0.9");
    store(fake, before);
    auto config =
        add_version(fake.platform, "java21", entry("C:\\jdk21", std::nullopt, std::nullopt));
    ASSERT_TRUE(config.has_value());
    Config expected = before;
    expected.versions["java21"] = entry("C:\\jdk21", std::nullopt, std::nullopt);
    EXPECT_EQ(*config, expected);
    EXPECT_EQ(load_config(fake.platform).value(), expected);
}

TEST(AddVersion, DuplicateAliasIsRejectedAndTheFileStaysByteForByte) {
    FakePlatform fake;
    // Written by hand: other spacing and an extra member, which a save would drop.
    const std::string original =
        "{\"versions\": {\"java21\": {\"path\": \"C:\\\\old\"}}, \"note\": \"mine\"}\n";
    fake.files.add_file(k_file, original);
    auto config = add_version(fake.platform, "java21", entry("C:\\new"));
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().kind(), ErrorKind::DuplicateAlias);
    EXPECT_EQ(config.error().to_text(), "Alias already exists: 'java21'");
    EXPECT_EQ(fake.files.content(k_file), original);
    EXPECT_TRUE(changes(fake).empty());
}

TEST(AddVersion, AliasesDifferingInCaseAreDifferent) {
    FakePlatform fake;
    ASSERT_TRUE(add_version(fake.platform, "java21", entry("C:\\a")).has_value());
    auto config = add_version(fake.platform, "Java21", entry("C:\\b"));
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->versions.size(), 2u);
    EXPECT_EQ(load_config(fake.platform)->versions.size(), 2u);
}

TEST(AddVersion, OverACorruptFileWarnsKeepsTheOldBytesAndStartsFresh) {
    FakePlatform fake;
    fake.files.add_file(k_file, "{\"versions\": {\"java8\": ");
    auto config = add_version(fake.platform, "java21", entry("C:\\jdk21"));
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->versions.size(), 1u);
    EXPECT_TRUE(fake.console.error.starts_with("Warning: config file is corrupted ("));
    EXPECT_TRUE(fake.console.error.ends_with("), starting fresh.\n"));
    EXPECT_EQ(fake.files.content(std::string(k_file) + ".corrupt"), "{\"versions\": {\"java8\": ");
    EXPECT_EQ(load_config(fake.platform).value(), *config);
}

TEST(AddVersion, UnreadableFileIsAnErrorAndNothingIsWritten) {
    FakePlatform fake;
    const std::string latin1 = "{\"versions\":{\"caf\xE9\":{\"path\":\"C:\\\\x\"}}}";
    fake.files.add_file(k_file, latin1);
    auto config = add_version(fake.platform, "java21", entry("C:\\jdk21"));
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().to_text(),
              "Configuration error: Cannot read config file: stream did not contain valid UTF-8");
    EXPECT_EQ(fake.files.content(k_file), latin1);
    EXPECT_TRUE(changes(fake).empty());
}

TEST(AddVersion, FailedSaveReportsTheSaveErrorAndKeepsTheFile) {
    FakePlatform fake;
    store(fake, Config{});
    fake.files.set_failure_hook(
        [](std::string_view op, std::string_view) -> std::optional<IoError> {
            if (op == "write") {
                return IoError{"There is not enough space on the disk.", 112};
            }
            return std::nullopt;
        });
    auto config = add_version(fake.platform, "java21", entry("C:\\jdk21"));
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().to_text(),
              "Configuration error: Cannot write config file: There is not enough space on the "
              "disk. (os error 112)");
    EXPECT_EQ(fake.files.content(k_file), serialize_config(Config{}));
}

// ---- remove_version --------------------------------------------------------------------------

TEST(RemoveVersion, RemovingTheCurrentAliasClearsCurrent) {
    FakePlatform fake;
    Config before;
    before.current = "java21";
    before.versions["java21"] = entry("C:\\jdk21");
    store(fake, before);
    auto config = remove_version(fake.platform, "java21");
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(*config, Config{});
    EXPECT_EQ(fake.files.content(k_file), "{\n  \"current\": null,\n  \"versions\": {}\n}");
}

TEST(RemoveVersion, RemovingAnotherAliasKeepsCurrent) {
    FakePlatform fake;
    Config before;
    before.current = "java21";
    before.versions["java21"] = entry("C:\\jdk21");
    before.versions["java17"] = entry("C:\\jdk17");
    store(fake, before);
    auto config = remove_version(fake.platform, "java17");
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->current, "java21");
    EXPECT_EQ(config->versions.size(), 1u);
    EXPECT_EQ(load_config(fake.platform).value(), *config);
}

TEST(RemoveVersion, HandEditedCurrentNamingNoEntryIsLeftAlone) {
    FakePlatform fake;
    fake.files.add_file(k_file,
                        "{\"current\":\"gone\",\"versions\":{\"a\":{\"path\":\"C:\\\\a\"}}}");
    auto config = remove_version(fake.platform, "a");
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->current, "gone");
}

TEST(RemoveVersion, UnknownAliasIsRejectedAndTheFileStaysByteForByte) {
    FakePlatform fake;
    const std::string original =
        "{ \"current\": \"Java21\", \"versions\": { \"Java21\": { "
        "\"path\": \"C:\\\\jdk\" } } }";
    fake.files.add_file(k_file, original);
    auto config = remove_version(fake.platform, "java21");
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().to_text(), "Alias not found: 'java21'");
    EXPECT_EQ(fake.files.content(k_file), original);
    EXPECT_TRUE(changes(fake).empty());
}

TEST(RemoveVersion, OnAMissingFileCreatesNoConfigFile) {
    FakePlatform fake;
    EXPECT_EQ(remove_version(fake.platform, "x").error().kind(), ErrorKind::AliasNotFound);
    EXPECT_FALSE(fake.files.exists(k_file));
}

// ---- set_current -----------------------------------------------------------------------------

TEST(SetCurrent, RecordsTheAliasReplacingThePreviousOne) {
    FakePlatform fake;
    Config before;
    before.current = "java17";
    before.versions["java17"] = entry("C:\\jdk17");
    before.versions["java21"] = entry("C:\\jdk21");
    store(fake, before);
    auto config = set_current(fake.platform, "java21");
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->current, "java21");
    EXPECT_EQ(config->versions, before.versions);
    EXPECT_EQ(load_config(fake.platform)->current, "java21");
}

TEST(SetCurrent, UnknownAliasWritesNothing) {
    FakePlatform fake;
    Config before;
    before.versions["java17"] = entry("C:\\jdk17");
    store(fake, before);
    const std::string original = *fake.files.content(k_file);
    auto config = set_current(fake.platform, "java21");
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().kind(), ErrorKind::AliasNotFound);
    EXPECT_EQ(config.error().payload(), "java21");
    EXPECT_EQ(fake.files.content(k_file), original);
    EXPECT_TRUE(changes(fake).empty());
}

// ---- Locking ---------------------------------------------------------------------------------

// Records how many locks were held whenever config.json or a file beside it was touched.
struct LockWatch {
    std::shared_ptr<std::vector<std::string>> seen = std::make_shared<std::vector<std::string>>();

    void install(FakePlatform& fake) {
        auto record = seen;
        fakes::MemoryFileSystem* files = &fake.files;
        files->set_failure_hook(
            [record, files](std::string_view op, std::string_view path) -> std::optional<IoError> {
                // A look at whether the file exists at all may come first, outside the lock.
                if (path.find("config.json") != std::string_view::npos && op != "lock" &&
                    op != "status") {
                    record->push_back(std::string(op) + " " + std::to_string(files->locks_held()));
                }
                return std::nullopt;
            });
    }
};

TEST(ConfigLock, EveryChangingOperationHoldsTheLockFromLoadToSave) {
    using Operation = std::function<bool(const Platform&)>;
    const std::vector<std::pair<const char*, Operation>> operations = {
        {"add",
         [](const Platform& p) { return add_version(p, "new", entry("C:\\n")).has_value(); }},
        {"remove", [](const Platform& p) { return remove_version(p, "old").has_value(); }},
        {"set_current", [](const Platform& p) { return set_current(p, "old").has_value(); }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        FakePlatform fake;
        Config before;
        before.versions["old"] = entry("C:\\o");
        store(fake, before);
        LockWatch watch;
        watch.install(fake);
        ASSERT_TRUE(operation(fake.platform));
        ASSERT_FALSE(watch.seen->empty());
        for (const std::string& seen : *watch.seen) {
            EXPECT_TRUE(seen.ends_with(" 1")) << seen;
        }
        EXPECT_EQ(fake.files.locks_held(), 0);
        // The folder exists before the lock file is opened in it.
        const auto& log = fake.files.log();
        auto mkdir = std::find(log.begin(), log.end(), "mkdir " + std::string(k_folder));
        auto lock = std::find(log.begin(), log.end(), "lock " + std::string(k_lock));
        ASSERT_NE(lock, log.end());
        EXPECT_LT(mkdir, lock);
    }
}

TEST(ConfigLock, IsReleasedOnEveryPath) {
    FakePlatform fake;
    EXPECT_FALSE(remove_version(fake.platform, "x").has_value());
    EXPECT_EQ(fake.files.locks_held(), 0);
    EXPECT_FALSE(set_current(fake.platform, "x").has_value());
    EXPECT_EQ(fake.files.locks_held(), 0);
    ASSERT_TRUE(add_version(fake.platform, "x", entry("C:\\x")).has_value());
    EXPECT_EQ(fake.files.locks_held(), 0);
    EXPECT_FALSE(add_version(fake.platform, "x", entry("C:\\x")).has_value());
    EXPECT_EQ(fake.files.locks_held(), 0);

    fake.files.add_file(k_file, "\xFF");
    EXPECT_FALSE(add_version(fake.platform, "y", entry("C:\\y")).has_value());
    EXPECT_EQ(fake.files.locks_held(), 0);

    fake.files.add_file(k_file, serialize_config(Config{}));
    fake.files.set_failure_hook(
        [](std::string_view op, std::string_view) -> std::optional<IoError> {
            if (op == "replace") {
                return IoError{"The disk is full.", 112};
            }
            return std::nullopt;
        });
    EXPECT_FALSE(add_version(fake.platform, "y", entry("C:\\y")).has_value());
    EXPECT_EQ(fake.files.locks_held(), 0);
}

TEST(ConfigLock, LockFailureIsAConfigErrorAndNothingIsRead) {
    FakePlatform fake;
    store(fake, Config{});
    fake.files.set_failure_hook(
        [](std::string_view op, std::string_view) -> std::optional<IoError> {
            if (op == "lock") {
                return IoError{"Access is denied.", 5};
            }
            return std::nullopt;
        });
    auto config = add_version(fake.platform, "x", entry("C:\\x"));
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().to_text(),
              "Configuration error: Cannot lock config file: Access is denied. (os error 5)");
    EXPECT_EQ(fake.files.content(k_file), serialize_config(Config{}));
    for (const std::string& seen : fake.files.log()) {
        EXPECT_FALSE(seen.starts_with("read ")) << seen;
    }
}

TEST(ConfigLock, LockHeldByAnotherProcessIsWaitedForTenSecondsAtMost) {
    FakePlatform fake;
    Config before;
    before.versions["old"] = entry("C:\\o");
    store(fake, before);
    const std::string document = serialize_config(before);
    fake.files.hold_locks_elsewhere();
    const std::string refusal =
        "Configuration error: Cannot lock config file: another corvel process has held it for 10 "
        "seconds; try again when it has finished";
    EXPECT_EQ(add_version(fake.platform, "new", entry("C:\\n")).error().to_text(), refusal);
    EXPECT_EQ(remove_version(fake.platform, "old").error().to_text(), refusal);
    EXPECT_EQ(fake.files.last_lock_time_limit(), std::chrono::seconds(10));
    EXPECT_EQ(fake.files.content(k_file), document);
}

TEST(ConfigLock, ReadersTakeNoLock) {
    FakePlatform fake;
    store(fake, Config{});
    ASSERT_TRUE(load_config(fake.platform).has_value());
    ASSERT_TRUE(list_versions(fake.platform).has_value());
    for (const std::string& seen : fake.files.log()) {
        EXPECT_FALSE(seen.starts_with("lock ")) << seen;
    }
}

// ---- list_versions ---------------------------------------------------------------------------

TEST(ListVersions, EmptyConfigurationListsNothing) {
    FakePlatform fake;
    EXPECT_TRUE(list_versions(fake.platform).value().empty());
}

TEST(ListVersions, SortsByRawBytes) {
    FakePlatform fake;
    Config config;
    for (const char* alias : {"b", "a10", "a2", "A", "\xC3\xA9", "a", "Z", "_"}) {
        config.versions[alias] = entry(std::string("C:\\") + alias);
    }
    store(fake, config);
    auto items = list_versions(fake.platform);
    ASSERT_TRUE(items.has_value());
    std::vector<std::string> aliases;
    for (const JdkListItem& item : *items) {
        aliases.push_back(item.alias);
    }
    EXPECT_EQ(aliases,
              (std::vector<std::string>{"A", "Z", "_", "a", "a10", "a2", "b", "\xC3\xA9"}));
}

TEST(ListVersions, CopiesEachEntryAndMarksCurrentAndValidity) {
    FakePlatform fake;
    fake.add_jdk("C:\\Java\\jdk-21");
    fake.add_jdk("C:\\Java\\jdk-17");
    Config config;
    config.current = "java21";
    config.versions["java21"] = entry("C:\\Java\\jdk-21", "21.0.2", "Oracle");
    config.versions["java17"] = entry("C:\\Java\\jdk-17", std::nullopt, std::nullopt);
    config.versions["Java21"] = entry("C:\\Java\\deleted");
    store(fake, config);
    auto items = list_versions(fake.platform).value();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].alias, "Java21");
    EXPECT_FALSE(items[0].is_current);
    EXPECT_FALSE(items[0].is_valid);
    EXPECT_EQ(items[1].alias, "java17");
    EXPECT_EQ(items[1].detected_version, std::nullopt);
    EXPECT_EQ(items[1].vendor, std::nullopt);
    EXPECT_TRUE(items[1].is_valid);
    EXPECT_FALSE(items[1].is_current);
    EXPECT_EQ(items[2].alias, "java21");
    EXPECT_EQ(items[2].path, "C:\\Java\\jdk-21");
    EXPECT_EQ(items[2].detected_version, "21.0.2");
    EXPECT_EQ(items[2].vendor, "Oracle");
    EXPECT_TRUE(items[2].is_current);
    EXPECT_TRUE(items[2].is_valid);
    EXPECT_TRUE(changes(fake).empty());
}

TEST(ListVersions, LoadErrorsPassThrough) {
    FakePlatform fake;
    fake.known_folders.app_data.reset();
    EXPECT_EQ(list_versions(fake.platform).error().to_text(),
              "Configuration error: Cannot locate user config directory");
}

// ---- unique_alias ----------------------------------------------------------------------------

TEST(UniqueAlias, ReturnsTheBaseWhenFreeElseTheFirstFreeNumberFromTwo) {
    using Set = std::set<std::string, std::less<>>;
    EXPECT_EQ(unique_alias("java21", Set{}), "java21");
    EXPECT_EQ(unique_alias("java21", Set{"java21-2", "Java21"}), "java21");
    EXPECT_EQ(unique_alias("java21", Set{"java21"}), "java21-2");
    EXPECT_EQ(unique_alias("java21", Set{"java21", "java21-2"}), "java21-3");
    EXPECT_EQ(unique_alias("java21", Set{"java21", "java21-3"}), "java21-2");
    EXPECT_EQ(unique_alias("", Set{""}), "-2");
    Set many{"j"};
    for (int n = 2; n < 200; ++n) {
        many.insert("j-" + std::to_string(n));
    }
    EXPECT_EQ(unique_alias("j", many), "j-200");
}

}  // namespace
}  // namespace corvel
