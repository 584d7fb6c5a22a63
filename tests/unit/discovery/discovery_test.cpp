#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "discovery/discovery.h"
#include "fake_platform.h"

namespace corvel {
namespace {

using fakes::FakePlatform;

constexpr std::string_view k_jdk_key = "SOFTWARE\\JavaSoft\\JDK";
constexpr std::string_view k_jdk_long_key = "SOFTWARE\\JavaSoft\\Java Development Kit";
constexpr std::string_view k_wow_jdk_key = "SOFTWARE\\WOW6432Node\\JavaSoft\\JDK";
constexpr std::string_view k_wow_jdk_long_key =
    "SOFTWARE\\WOW6432Node\\JavaSoft\\Java Development Kit";

std::string release(std::string_view version, std::string_view vendor) {
    return "IMPLEMENTOR=\"" + std::string(vendor) + "\"\nJAVA_VERSION=\"" + std::string(version) +
           "\"\n";
}

// Writes config.json registering each (alias, path).
void register_jdks(FakePlatform& fake,
                   const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string json = "{\n  \"current\": null,\n  \"versions\": {";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        json += (i == 0 ? "\n" : ",\n");
        json += "    " + fakes::json_string(entries[i].first) +
                ": {\n      \"path\": " + fakes::json_string(entries[i].second) +
                ",\n      \"detected_version\": null,\n      \"vendor\": null\n    }";
    }
    json += entries.empty() ? "}\n}" : "\n  }\n}";
    fake.files.add_file(FakePlatform::k_config_path, json);
}

void set_java_home(FakePlatform& fake, std::string_view key, std::string_view subkey,
                   std::string_view home, std::uint32_t type = k_reg_sz) {
    fake.registry.set_text(RegistryRoot::LocalMachine,
                           std::string(key) + "\\" + std::string(subkey), "JavaHome", home, type);
}

std::vector<std::string> paths_of(const std::vector<DiscoveredJdk>& found) {
    std::vector<std::string> paths;
    for (const DiscoveredJdk& jdk : found) {
        paths.push_back(jdk.path);
    }
    return paths;
}

std::size_t count_in_log(const std::vector<std::string>& log, std::string_view line) {
    return static_cast<std::size_t>(std::count(log.begin(), log.end(), line));
}

// ---- The JavaSoft keys ------------------------------------------------------------------------

TEST(RegistryJdkHomes, ReadsTheFourKeysInOrderAndSubkeysInEnumerationOrder) {
    FakePlatform fake;
    set_java_home(fake, k_wow_jdk_long_key, "1.8", "C:\\wow\\jdk8");
    set_java_home(fake, k_jdk_key, "21", "C:\\jdk\\21");
    set_java_home(fake, k_jdk_key, "17", "C:\\jdk\\17\\");
    set_java_home(fake, k_jdk_long_key, "1.8", "C:\\long\\jdk8");
    set_java_home(fake, k_wow_jdk_key, "11", "C:\\wow\\jdk11");

    // Values come back as stored: a trailing separator is left for discovery to remove.
    EXPECT_EQ(registry_jdk_homes(fake.platform),
              (std::vector<std::string>{"C:\\jdk\\21", "C:\\jdk\\17\\", "C:\\long\\jdk8",
                                        "C:\\wow\\jdk11", "C:\\wow\\jdk8"}));

    const auto& log = fake.registry.log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "open HKLM\\SOFTWARE\\JavaSoft\\JDK r");
    EXPECT_EQ(count_in_log(log, "open HKLM\\SOFTWARE\\JavaSoft\\Java Development Kit r"), 1u);
    EXPECT_EQ(count_in_log(log, "open HKLM\\SOFTWARE\\WOW6432Node\\JavaSoft\\JDK r"), 1u);
    EXPECT_EQ(
        count_in_log(log, "open HKLM\\SOFTWARE\\WOW6432Node\\JavaSoft\\Java Development Kit r"),
        1u);
    for (const std::string& entry : log) {
        EXPECT_FALSE(entry.ends_with(" rw")) << entry;
    }
}

TEST(RegistryJdkHomes, SkipsUnusableSubkeysAndValuesButGoesOn) {
    FakePlatform fake;
    // A name longer than the enumeration buffer, and one that is not valid UTF-16.
    set_java_home(fake, k_jdk_key, std::string(2048, 'v'), "C:\\too-long");
    set_java_home(fake, k_jdk_key, "\xED\xA0\x80", "C:\\bad-name");
    set_java_home(fake, k_jdk_key, "dword", "ignored");
    fake.registry.set(RegistryRoot::LocalMachine, std::string(k_jdk_key) + "\\dword", "JavaHome",
                      k_reg_dword, {1, 0, 0, 0});
    set_java_home(fake, k_jdk_key, "empty", "");
    fake.registry.set_text(RegistryRoot::LocalMachine, std::string(k_jdk_key) + "\\no-value",
                           "RuntimeLib", "C:\\no-value\\bin\\server\\jvm.dll");
    set_java_home(fake, k_jdk_key, "denied", "C:\\denied");
    fake.registry.deny_open(RegistryRoot::LocalMachine, std::string(k_jdk_key) + "\\denied");
    set_java_home(fake, k_jdk_key, "expand", "%ProgramFiles%\\Java\\jdk-21", k_reg_expand_sz);
    set_java_home(fake, k_jdk_key, "multi", "C:\\multi", k_reg_multi_sz);
    // A name of exactly 2047 units still fits the buffer with its terminator.
    set_java_home(fake, k_jdk_key, std::string(2047, 'w'), "C:\\longest");
    set_java_home(fake, k_jdk_key, "17", "C:\\jdk-17");
    // A key that cannot be opened is passed over for the next one.
    set_java_home(fake, k_jdk_long_key, "8", "C:\\locked");
    fake.registry.deny_open(RegistryRoot::LocalMachine, k_jdk_long_key);
    set_java_home(fake, k_wow_jdk_key, "11", "C:\\jdk-11");

    EXPECT_EQ(registry_jdk_homes(fake.platform),
              (std::vector<std::string>{"%ProgramFiles%\\Java\\jdk-21", "C:\\multi", "C:\\longest",
                                        "C:\\jdk-17", "C:\\jdk-11"}));
}

// A key whose every enumeration fails with the same error, as a key deleted while it is read.
class BrokenRegistry : public RegistryStore {
public:
    explicit BrokenRegistry(fakes::MemoryRegistry& inner) : m_inner(inner) {}

    std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_key(
        RegistryRoot root, std::string_view subkey, std::uint32_t access) override {
        if (subkey == k_jdk_key) {
            return std::make_unique<BrokenKey>(m_enumerations);
        }
        return m_inner.open_key(root, subkey, access);
    }
    std::string error_message(std::uint32_t code) const override {
        return m_inner.error_message(code);
    }
    void broadcast_environment_change() override {}

    std::uint64_t enumerations() const {
        return m_enumerations;
    }

private:
    class BrokenKey : public RegistryKey {
    public:
        explicit BrokenKey(std::uint64_t& count) : m_count(count) {}
        std::expected<RegistryValue, std::uint32_t> query_value(std::string_view) const override {
            return std::unexpected(k_error_file_not_found);
        }
        std::uint32_t set_value(std::string_view, std::uint32_t,
                                std::span<const std::uint8_t>) override {
            return k_error_access_denied;
        }
        std::uint32_t delete_value(std::string_view) override {
            return k_error_access_denied;
        }
        std::expected<std::string, std::uint32_t> enum_subkey(std::uint32_t) const override {
            ++m_count;
            return std::unexpected(std::uint32_t{1018});  // the key was deleted
        }
        std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_subkey(
            std::string_view, std::uint32_t) const override {
            return std::unexpected(k_error_file_not_found);
        }

    private:
        std::uint64_t& m_count;
    };

    fakes::MemoryRegistry& m_inner;
    std::uint64_t m_enumerations = 0;
};

TEST(RegistryJdkHomes, AKeyThatFailsAtEveryIndexEndsInsteadOfRunningForever) {
    FakePlatform fake;
    set_java_home(fake, k_jdk_long_key, "17", "C:\\jdk-17");
    BrokenRegistry broken(fake.registry);
    Platform platform{fake.files,         broken,           fake.processes,
                      fake.known_folders, fake.environment, fake.console};

    EXPECT_EQ(registry_jdk_homes(platform), (std::vector<std::string>{"C:\\jdk-17"}));
    EXPECT_LE(broken.enumerations(), 100'000u);
}

// ---- Candidates -------------------------------------------------------------------------------

TEST(DiscoverJdks, AnEmptyMachineYieldsNothing) {
    FakePlatform fake;
    EXPECT_TRUE(discover_jdks(fake.platform).empty());
    EXPECT_TRUE(fake.processes.calls().empty());
    EXPECT_TRUE(fake.console.output.empty());
}

TEST(DiscoverJdks, FindsTheFolderAndItsImmediateSubfoldersOfEveryInstallFolder) {
    FakePlatform fake;
    fake.add_jdk("C:\\Program Files\\Microsoft\\jdk-11.0.21.9-hotspot",
                 release("11.0.21", "Microsoft"));
    fake.add_jdk("C:\\Program Files\\Eclipse Adoptium\\jdk-21.0.1.12-hotspot",
                 release("21.0.1", "Eclipse Adoptium"));
    // A JDK installed straight into an install folder is found as the folder itself.
    fake.add_jdk("C:\\Program Files\\Zulu", release("17.0.9", "Azul Systems, Inc."));
    fake.add_jdk("C:\\Program Files (x86)\\Java\\jdk1.8.0_392", release("1.8.0_392", "Oracle"));
    // Two levels below an install folder, and outside every install folder: not found.
    fake.add_jdk("C:\\Program Files\\SapMachine\\JDK\\21", release("21.0.1", "SAP SE"));
    fake.add_jdk("C:\\Program Files\\Java\\jdks\\jdk-21", release("21", "Oracle"));
    fake.add_jdk("D:\\jdk-22", release("22", "Oracle"));
    // Runtime-only folders and plain files among the subfolders produce nothing.
    fake.files.add_file("C:\\Program Files\\Java\\jre-8\\bin\\java.exe");
    fake.files.add_file("C:\\Program Files\\Java\\readme.txt", "hello");
    fake.files.add_file("C:\\Program Files\\BellSoft", "a file where a folder was expected");

    std::vector<DiscoveredJdk> found = discover_jdks(fake.platform);
    EXPECT_EQ(paths_of(found), (std::vector<std::string>{
                                   "C:\\Program Files (x86)\\Java\\jdk1.8.0_392",
                                   "C:\\Program Files\\Eclipse Adoptium\\jdk-21.0.1.12-hotspot",
                                   "C:\\Program Files\\Microsoft\\jdk-11.0.21.9-hotspot",
                                   "C:\\Program Files\\Zulu",
                               }));
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[0], (DiscoveredJdk{"C:\\Program Files (x86)\\Java\\jdk1.8.0_392", "java8",
                                       "1.8.0_392", "Oracle", false}));
    EXPECT_EQ(found[3], (DiscoveredJdk{"C:\\Program Files\\Zulu", "java17", "17.0.9",
                                       "Azul Systems, Inc.", false}));
    // Release files answered every probe: no launcher was started.
    EXPECT_TRUE(fake.processes.calls().empty());
    // Discovery never writes: not the configuration, not anything else.
    for (const std::string& entry : fake.files.log()) {
        EXPECT_TRUE(entry.starts_with("status ") || entry.starts_with("read ") ||
                    entry.starts_with("list "))
            << entry;
    }
}

TEST(DiscoverJdks, TheFirstSpellingOfAFolderWinsAndTrailingSeparatorsGo) {
    FakePlatform fake;
    fake.add_jdk("C:\\Program Files\\Java\\jdk-17", release("17.0.2", "Oracle Corporation"));
    fake.add_jdk("C:\\Program Files\\Java\\jdk-21", release("21.0.2", "Oracle Corporation"));
    fake.add_jdk("C:\\Program Files\\Java\\jdk-11", release("11.0.2", "Oracle Corporation"));
    set_java_home(fake, k_jdk_key, "17", "C:\\PROGRAM FILES\\JAVA\\JDK-17\\");
    set_java_home(fake, k_wow_jdk_key, "17", "c:\\program files\\java\\jdk-17");
    fake.environment.variables["JAVA_HOME"] = "C:\\Program Files\\Java\\Jdk-21/\\/";

    EXPECT_EQ(paths_of(discover_jdks(fake.platform)),
              (std::vector<std::string>{"C:\\PROGRAM FILES\\JAVA\\JDK-17",
                                        "C:\\Program Files\\Java\\Jdk-21",
                                        "C:\\Program Files\\Java\\jdk-11"}));
}

TEST(DiscoverJdks, JavaHomeMayNameAJdkAnywhereOrNothingAtAll) {
    FakePlatform fake;
    fake.add_jdk("D:\\tools\\jdk-22", release("22", "Oracle Corporation"));
    fake.environment.variables["JAVA_HOME"] = "D:\\tools\\jdk-22";
    EXPECT_EQ(paths_of(discover_jdks(fake.platform)),
              (std::vector<std::string>{"D:\\tools\\jdk-22"}));

    // An empty JAVA_HOME is no candidate, so it never reaches the file system.
    fake.environment.variables["JAVA_HOME"] = "";
    EXPECT_TRUE(discover_jdks(fake.platform).empty());
    for (const std::string& entry : fake.files.log()) {
        EXPECT_NE(entry, "status ");
    }
}

TEST(DiscoverJdks, AFolderSpelledTwiceIsTriedOnceEvenWhenTheFirstTryFails) {
    FakePlatform fake;
    fake.add_jdk("C:\\Program Files\\Java\\jdk-17", release("17.0.2", "Oracle Corporation"));
    set_java_home(fake, k_jdk_key, "17", "C:\\PROGRAM FILES\\JAVA\\JDK-17");
    // The registry spelling cannot be examined; the listing's spelling could, but names the
    // same folder and is not tried again.
    fake.files.set_failure_hook(
        [](std::string_view op, std::string_view path) -> std::optional<IoError> {
            if (op == "status" && path == "C:\\PROGRAM FILES\\JAVA\\JDK-17") {
                return IoError{"Access is denied.", 5};
            }
            return std::nullopt;
        });

    EXPECT_TRUE(discover_jdks(fake.platform).empty());
}

TEST(DiscoverJdks, FollowsJunctionsAndKeepsTheJunctionsOwnPath) {
    FakePlatform fake;
    fake.add_jdk("D:\\jdks\\jdk-21.0.2", release("21.0.2", "Eclipse Adoptium"));
    fake.files.add_link("C:\\Program Files\\Eclipse Adoptium\\current", "D:\\jdks\\jdk-21.0.2");
    fake.files.add_link("C:\\Program Files\\Eclipse Adoptium\\dangling", "D:\\jdks\\gone");
    // A junction standing for the install folder itself.
    fake.add_jdk("E:\\graal", release("21.0.2", "GraalVM Community"));
    fake.files.add_link("C:\\Program Files\\GraalVM", "E:\\graal");

    std::vector<DiscoveredJdk> found = discover_jdks(fake.platform);
    EXPECT_EQ(paths_of(found), (std::vector<std::string>{
                                   "C:\\Program Files\\Eclipse Adoptium\\current",
                                   "C:\\Program Files\\GraalVM",
                               }));
}

TEST(DiscoverJdks, FoldersThatCannotBeListedOrExaminedAreSkippedQuietly) {
    FakePlatform fake;
    fake.add_jdk("C:\\Program Files\\Java", release("17.0.2", "Oracle Corporation"));
    fake.add_jdk("C:\\Program Files\\Java\\jdk-21", release("21.0.2", "Oracle Corporation"));
    fake.add_jdk("C:\\Program Files\\Zulu\\zulu-11", release("11.0.21", "Azul Systems, Inc."));
    fake.add_jdk("C:\\Program Files\\Zulu\\zulu-17", release("17.0.9", "Azul Systems, Inc."));
    fake.add_jdk("C:\\Program Files\\RedHat\\java-21", release("21.0.1", "Red Hat, Inc."));
    fake.files.set_failure_hook([](std::string_view op,
                                   std::string_view path) -> std::optional<IoError> {
        if (op == "list" && path == "C:\\Program Files\\Java") {
            return IoError{"Access is denied.", 5};
        }
        if (op == "status" &&
            (path == "C:\\Program Files\\Zulu\\zulu-11" || path == "C:\\Program Files\\RedHat")) {
            return IoError{"Access is denied.", 5};
        }
        return std::nullopt;
    });

    // The unlistable folder is still a candidate itself; the unreadable entry and the
    // unreadable install folder drop out.
    EXPECT_EQ(
        paths_of(discover_jdks(fake.platform)),
        (std::vector<std::string>{"C:\\Program Files\\Java", "C:\\Program Files\\Zulu\\zulu-17"}));
    EXPECT_EQ(count_in_log(fake.files.log(), "list C:\\Program Files\\RedHat"), 0u);
}

TEST(DiscoverJdks, ProbesEachSurvivorOnceAndOnlyRunsLaunchersWithoutAReleaseFile) {
    FakePlatform fake;
    fake.add_jdk("C:\\Program Files\\Java\\jdk-17", release("17.0.2", "Oracle Corporation"));
    // Known only from its launcher, twice over (registry and listing).
    fake.add_jdk("C:\\Program Files\\Java\\jdk-21");
    set_java_home(fake, k_jdk_key, "21", "C:\\Program Files\\Java\\jdk-21");
    fake.processes.script_output("C:\\Program Files\\Java\\jdk-21\\bin\\java.exe",
                                 "openjdk version \"21.0.2\" 2024-01-16\n");
    // A release file without a version, and a launcher that cannot be started.
    fake.add_jdk("C:\\Program Files\\Java\\mystery", "IMPLEMENTOR=\"Nobody\"\n");
    // A runtime-only folder is not probed at all.
    fake.files.add_file("C:\\Program Files\\Java\\jre-8\\bin\\java.exe");
    fake.processes.script_output("C:\\Program Files\\Java\\jre-8\\bin\\java.exe",
                                 "java version \"1.8.0_392\"\n");

    std::vector<DiscoveredJdk> found = discover_jdks(fake.platform);
    EXPECT_EQ(
        found,
        (std::vector<DiscoveredJdk>{
            {"C:\\Program Files\\Java\\jdk-17", "java17", "17.0.2", "Oracle Corporation", false},
            {"C:\\Program Files\\Java\\jdk-21", "java21", "21.0.2", "OpenJDK", false},
            {"C:\\Program Files\\Java\\mystery", "java", std::nullopt, std::nullopt, false},
        }));
    std::vector<std::string> launched;
    for (const auto& call : fake.processes.calls()) {
        launched.push_back(call.program);
        EXPECT_EQ(call.arguments, (std::vector<std::string>{"-version"}));
    }
    std::sort(launched.begin(), launched.end());
    EXPECT_EQ(launched, (std::vector<std::string>{
                            "C:\\Program Files\\Java\\jdk-21\\bin\\java.exe",
                            "C:\\Program Files\\Java\\mystery\\bin\\java.exe",
                        }));
}

// ---- Registered JDKs and order ----------------------------------------------------------------

TEST(DiscoverJdks, MarksRegisteredFoldersByLowerCasedPathAsStored) {
    FakePlatform fake;
    fake.add_jdk("C:\\Program Files\\Java\\jdk-17", release("17.0.2", "Oracle Corporation"));
    fake.add_jdk("C:\\Program Files\\Java\\jdk-11", release("11.0.2", "Oracle Corporation"));
    fake.add_jdk("C:\\Program Files\\Java\\jdk-21", release("21.0.2", "Oracle Corporation"));
    register_jdks(fake, {
                            {"java17", "c:\\program files\\java\\jdk-17"},
                            // Stored with a trailing backslash: not the same text.
                            {"java11", "C:\\Program Files\\Java\\jdk-11\\"},
                            {"gone", "C:\\Program Files\\Java\\jdk-9"},
                        });

    std::vector<DiscoveredJdk> found = discover_jdks(fake.platform);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].path, "C:\\Program Files\\Java\\jdk-11");
    EXPECT_FALSE(found[0].already_configured);
    EXPECT_EQ(found[1].path, "C:\\Program Files\\Java\\jdk-21");
    EXPECT_FALSE(found[1].already_configured);
    EXPECT_EQ(found[2].path, "C:\\Program Files\\Java\\jdk-17");
    EXPECT_TRUE(found[2].already_configured);
}

TEST(DiscoverJdks, RegisteredPathsCompareAfterFullUnicodeLowerCasing) {
    FakePlatform fake;
    fake.add_jdk("C:\\Programme\\ÖL\\JDK-17", release("17.0.2", "Oracle Corporation"));
    fake.environment.variables["JAVA_HOME"] = "C:\\Programme\\ÖL\\JDK-17";
    register_jdks(fake, {{"java17", "c:\\programme\\öl\\jdk-17"}});

    std::vector<DiscoveredJdk> found = discover_jdks(fake.platform);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].already_configured);
}

TEST(DiscoverJdks, AnUnreadableOrCorruptConfigurationMarksNothing) {
    FakePlatform fake;
    fake.add_jdk("C:\\Program Files\\Java\\jdk-17", release("17.0.2", "Oracle Corporation"));
    fake.files.add_file(FakePlatform::k_config_path, "{ not json");
    std::vector<DiscoveredJdk> found = discover_jdks(fake.platform);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].already_configured);

    register_jdks(fake, {{"java17", "C:\\Program Files\\Java\\jdk-17"}});
    fake.files.set_failure_hook(
        [](std::string_view op, std::string_view path) -> std::optional<IoError> {
            if (op == "read" && path.ends_with("config.json")) {
                return IoError{"Access is denied.", 5};
            }
            return std::nullopt;
        });
    found = discover_jdks(fake.platform);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].already_configured);
}

TEST(DiscoverJdks, SortsNewOnesFirstThenByPathBytes) {
    FakePlatform fake;
    for (std::string_view root : {
             "C:\\Program Files\\Java\\jdk-17",
             "C:\\Program Files\\Java\\jdk-11",
             "C:\\Program Files\\Java\\JDK-8",
             "C:\\Program Files\\Java\\jdk-11.0.2",
             "C:\\Program Files\\Eclipse Adoptium\\jdk-21",
             "C:\\Program Files\\Zulu\\zulu-21",
             "C:\\Program Files\\Amazon Corretto\\jdk17",
             "C:\\Program Files\\Java\\jdk-é",
             "C:\\Program Files\\Java\\jdk-z",
         }) {
        fake.add_jdk(root, release("17", "Someone"));
    }
    register_jdks(fake, {{"a", "C:\\Program Files\\Zulu\\zulu-21"},
                         {"b", "C:\\Program Files\\Amazon Corretto\\jdk17"}});

    EXPECT_EQ(paths_of(discover_jdks(fake.platform)),
              (std::vector<std::string>{
                  "C:\\Program Files\\Eclipse Adoptium\\jdk-21",
                  "C:\\Program Files\\Java\\JDK-8",
                  "C:\\Program Files\\Java\\jdk-11",
                  "C:\\Program Files\\Java\\jdk-11.0.2",
                  "C:\\Program Files\\Java\\jdk-17",
                  "C:\\Program Files\\Java\\jdk-z",
                  "C:\\Program Files\\Java\\jdk-é",
                  "C:\\Program Files\\Amazon Corretto\\jdk17",
                  "C:\\Program Files\\Zulu\\zulu-21",
              }));
}

// ---- Many folders -----------------------------------------------------------------------------

TEST(DiscoverJdks, ThousandsOfSubfoldersAreListedOnceAndExaminedWithoutRepeats) {
    FakePlatform fake;
    for (int i = 0; i < 3000; ++i) {
        fake.files.add_directory("C:\\Program Files\\Java\\folder-" + std::to_string(i));
    }
    for (int i = 0; i < 200; ++i) {
        fake.add_jdk("C:\\Program Files\\Eclipse Adoptium\\jdk-17.0." + std::to_string(i),
                     release("17.0." + std::to_string(i), "Eclipse Adoptium"));
    }

    std::vector<DiscoveredJdk> found = discover_jdks(fake.platform);
    EXPECT_EQ(found.size(), 200u);
    EXPECT_TRUE(fake.processes.calls().empty());

    std::map<std::string, int> asked;
    for (const std::string& entry : fake.files.log()) {
        ++asked[entry];
    }
    for (const auto& [entry, times] : asked) {
        if (entry.starts_with("status ") || entry.starts_with("list ")) {
            EXPECT_EQ(times, 1) << entry;
        }
    }
    EXPECT_EQ(asked["list C:\\Program Files\\Java"], 1);
    EXPECT_EQ(asked["read C:\\Program Files\\Eclipse Adoptium\\jdk-17.0.7\\release"], 1);
}

}  // namespace
}  // namespace corvel
