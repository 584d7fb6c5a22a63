#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "commands/commands.h"
#include "config/config.h"
#include "fake_platform.h"

namespace corvel {
namespace {

using fakes::FakePlatform;

constexpr std::string_view k_adoptium_21 =
    "C:\\Program Files\\Eclipse Adoptium\\jdk-21.0.1.12-hotspot";
constexpr std::string_view k_oracle_17 = "C:\\Program Files\\Java\\jdk-17";

std::string release(std::string_view version, std::string_view vendor) {
    return "JAVA_VERSION=\"" + std::string(version) + "\"\nIMPLEMENTOR=\"" + std::string(vendor) +
           "\"\n";
}

class ScanCommand : public ::testing::Test {
protected:
    // Writes config.json registering each (alias, path) without version or vendor.
    void register_jdks(const std::vector<std::pair<std::string, std::string>>& entries) {
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

    // The documented example machine: a new Adoptium 21 and a registered Oracle 17.
    void two_jdks_one_registered() {
        fake.add_jdk(k_adoptium_21, release("21.0.1", "Eclipse Adoptium"));
        fake.add_jdk(k_oracle_17, release("17.0.2", "Oracle Corporation"));
        register_jdks({{"java17", std::string(k_oracle_17)}});
    }

    std::string scan(bool auto_add) {
        Terminal terminal(fake.console, fake.environment);
        CommandContext context{fake.platform, terminal};
        CommandResult result = run_scan(context, auto_add);
        EXPECT_TRUE(result.has_value());
        EXPECT_EQ(fake.console.output_flushed, fake.console.output.size());
        return fake.console.output;
    }

    Config stored() {
        auto config = load_config(fake.platform);
        EXPECT_TRUE(config.has_value());
        return config ? std::move(*config) : Config{};
    }

    FakePlatform fake;
};

// ---- Nothing found ----------------------------------------------------------------------------

TEST_F(ScanCommand, NothingFoundPrintsTwoLinesWithOrWithoutAutoAdd) {
    const std::string expected =
        "Scanning for installed JDKs...\n"
        "No JDKs found in common install locations.\n"
        "Add one manually with: 'corvel add <alias> <path>'\n";
    EXPECT_EQ(scan(false), expected);
    fake.console.output.clear();
    EXPECT_EQ(scan(true), expected);
    EXPECT_FALSE(fake.files.exists(FakePlatform::k_config_path));

    fake.console.output.clear();
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    EXPECT_EQ(scan(false),
              "Scanning for installed JDKs...\n"
              "\x1b[2mNo JDKs found in common install locations.\x1b[0m\n"
              "Add one manually with: \x1b[36m'corvel add <alias> <path>'\x1b[0m\n");
}

// ---- Listing ----------------------------------------------------------------------------------

TEST_F(ScanCommand, ListsNewAndRegisteredJdksWithHintsAndChangesNothing) {
    two_jdks_one_registered();
    const std::string before = *fake.files.content(FakePlatform::k_config_path);

    EXPECT_EQ(scan(false),
              "Scanning for installed JDKs...\n"
              "\n"
              "Found 2 JDK(s):\n"
              "\n"
              "  [new] C:\\Program Files\\Eclipse Adoptium\\jdk-21.0.1.12-hotspot \u2014 Eclipse "
              "Adoptium 21.0.1  (suggested alias: java21)\n"
              "  [already configured] C:\\Program Files\\Java\\jdk-17 \u2014 Oracle Corporation "
              "17.0.2  (suggested alias: java17)\n"
              "\n"
              "Run 'corvel scan --auto-add' to add all new ones automatically.\n"
              "Or run 'corvel add <alias> <path>' to add a specific one.\n");
    EXPECT_EQ(*fake.files.content(FakePlatform::k_config_path), before);
}

TEST_F(ScanCommand, ShowsHintsEvenWhenEverythingIsRegistered) {
    fake.add_jdk(k_oracle_17, release("17.0.2", "Oracle Corporation"));
    register_jdks({{"mine", "c:\\program files\\java\\jdk-17"}});

    EXPECT_EQ(scan(false),
              "Scanning for installed JDKs...\n"
              "\n"
              "Found 1 JDK(s):\n"
              "\n"
              "  [already configured] C:\\Program Files\\Java\\jdk-17 \u2014 Oracle Corporation "
              "17.0.2  (suggested alias: java17)\n"
              "\n"
              "Run 'corvel scan --auto-add' to add all new ones automatically.\n"
              "Or run 'corvel add <alias> <path>' to add a specific one.\n");
}

TEST_F(ScanCommand, AJdkWithoutVersionShowsQuestionMarksAndAFolderProposal) {
    fake.add_jdk("C:\\Program Files\\Zulu\\zulu21.30.15-ca-jdk21.0.1-win_x64");

    EXPECT_EQ(scan(true),
              "Scanning for installed JDKs...\n"
              "\n"
              "Found 1 JDK(s):\n"
              "\n"
              "  [new] C:\\Program Files\\Zulu\\zulu21.30.15-ca-jdk21.0.1-win_x64 \u2014 ? ?  "
              "(suggested alias: java21)\n"
              "    \u2714 Added as 'java21'\n"
              "\n"
              "\u2714 Added 1 new JDK(s) to config.\n");
    Config config = stored();
    ASSERT_TRUE(config.versions.contains("java21"));
    EXPECT_EQ(config.versions["java21"],
              (JdkEntry{"C:\\Program Files\\Zulu\\zulu21.30.15-ca-jdk21.0.1-win_x64", std::nullopt,
                        std::nullopt}));
}

TEST_F(ScanCommand, ListingInColour) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    two_jdks_one_registered();
    fake.add_jdk("C:\\Program Files\\Java\\mystery");

    EXPECT_EQ(scan(false),
              "Scanning for installed JDKs...\n"
              "\n"
              "\x1b[1mFound 3 JDK(s):\x1b[0m\n"
              "\n"
              "  \x1b[33m[new]\x1b[0m \x1b[36mC:\\Program Files\\Eclipse "
              "Adoptium\\jdk-21.0.1.12-hotspot\x1b[0m \u2014 \x1b[2mEclipse Adoptium\x1b[0m "
              "\x1b[2m21.0.1\x1b[0m  (\x1b[2msuggested alias: java21\x1b[0m)\n"
              "  \x1b[33m[new]\x1b[0m \x1b[36mC:\\Program Files\\Java\\mystery\x1b[0m \u2014 "
              "\x1b[2m?\x1b[0m \x1b[2m?\x1b[0m  (\x1b[2msuggested alias: java\x1b[0m)\n"
              "  \x1b[32m[already configured]\x1b[0m \x1b[36mC:\\Program "
              "Files\\Java\\jdk-17\x1b[0m \u2014 \x1b[2mOracle Corporation\x1b[0m "
              "\x1b[2m17.0.2\x1b[0m  (\x1b[2msuggested alias: java17\x1b[0m)\n"
              "\n"
              "Run \x1b[36m'corvel scan --auto-add'\x1b[0m to add all new ones automatically.\n"
              "Or run \x1b[36m'corvel add <alias> <path>'\x1b[0m to add a specific one.\n");
}

// ---- Adding -----------------------------------------------------------------------------------

TEST_F(ScanCommand, AutoAddRegistersTheNewOnesOnly) {
    two_jdks_one_registered();

    EXPECT_EQ(scan(true),
              "Scanning for installed JDKs...\n"
              "\n"
              "Found 2 JDK(s):\n"
              "\n"
              "  [new] C:\\Program Files\\Eclipse Adoptium\\jdk-21.0.1.12-hotspot \u2014 Eclipse "
              "Adoptium 21.0.1  (suggested alias: java21)\n"
              "    \u2714 Added as 'java21'\n"
              "  [already configured] C:\\Program Files\\Java\\jdk-17 \u2014 Oracle Corporation "
              "17.0.2  (suggested alias: java17)\n"
              "\n"
              "\u2714 Added 1 new JDK(s) to config.\n");
    Config config = stored();
    EXPECT_FALSE(config.current.has_value());
    EXPECT_EQ(config.versions.size(), 2u);
    EXPECT_EQ(config.versions["java21"],
              (JdkEntry{std::string(k_adoptium_21), "21.0.1", "Eclipse Adoptium"}));
    EXPECT_EQ(config.versions["java17"],
              (JdkEntry{std::string(k_oracle_17), std::nullopt, std::nullopt}));
}

TEST_F(ScanCommand, SameProposalsBecomeUniqueInListOrder) {
    fake.add_jdk("C:\\Program Files\\Zulu\\zulu-17", release("17.0.9", "Azul Systems, Inc."));
    fake.add_jdk("C:\\Program Files\\Java\\jdk-17", release("17.0.2", "Oracle Corporation"));
    // An alias differing only in letter case is a different alias.
    register_jdks({{"Java17", "D:\\elsewhere"}});

    std::string output = scan(true);
    EXPECT_NE(output.find("  [new] C:\\Program Files\\Java\\jdk-17 \u2014 Oracle Corporation "
                          "17.0.2  (suggested alias: java17)\n"
                          "    \u2714 Added as 'java17'\n"
                          "  [new] C:\\Program Files\\Zulu\\zulu-17 \u2014 Azul Systems, Inc. "
                          "17.0.9  (suggested alias: java17)\n"
                          "    \u2714 Added as 'java17-2'\n"
                          "\n"
                          "\u2714 Added 2 new JDK(s) to config.\n"),
              std::string::npos)
        << output;
    Config config = stored();
    EXPECT_EQ(config.versions["java17"].path, "C:\\Program Files\\Java\\jdk-17");
    EXPECT_EQ(config.versions["java17-2"].path, "C:\\Program Files\\Zulu\\zulu-17");
    EXPECT_EQ(config.versions["Java17"].path, "D:\\elsewhere");
}

TEST_F(ScanCommand, SkipsAliasesAlreadyTaken) {
    fake.add_jdk("C:\\Program Files\\Amazon Corretto\\jdk17.0.9_8",
                 release("17.0.9", "Amazon.com Inc."));
    register_jdks({{"java17", "D:\\old\\jdk-17"}, {"java17-2", "D:\\old\\jdk-17.0.1"}});

    std::string output = scan(true);
    EXPECT_NE(output.find("    \u2714 Added as 'java17-3'\n"), std::string::npos) << output;
    Config config = stored();
    EXPECT_EQ(config.versions.size(), 3u);
    EXPECT_EQ(
        config.versions["java17-3"],
        (JdkEntry{"C:\\Program Files\\Amazon Corretto\\jdk17.0.9_8", "17.0.9", "Amazon.com Inc."}));
}

TEST_F(ScanCommand, OnlyRegisteredJdksEndWithTheNothingAddedLine) {
    fake.add_jdk(k_oracle_17, release("17.0.2", "Oracle Corporation"));
    register_jdks({{"java17", std::string(k_oracle_17)}});
    const std::string before = *fake.files.content(FakePlatform::k_config_path);

    EXPECT_EQ(scan(true),
              "Scanning for installed JDKs...\n"
              "\n"
              "Found 1 JDK(s):\n"
              "\n"
              "  [already configured] C:\\Program Files\\Java\\jdk-17 \u2014 Oracle Corporation "
              "17.0.2  (suggested alias: java17)\n"
              "\n"
              "No new JDKs were added (all already configured).\n");
    EXPECT_EQ(*fake.files.content(FakePlatform::k_config_path), before);
}

TEST_F(ScanCommand, FailedAddsAreReportedAndTheScanGoesOn) {
    fake.add_jdk(k_adoptium_21, release("21.0.1", "Eclipse Adoptium"));
    fake.add_jdk(k_oracle_17, release("17.0.2", "Oracle Corporation"));
    register_jdks({});
    fake.files.set_failure_hook(
        [](std::string_view op, std::string_view path) -> std::optional<IoError> {
            if (op == "read" && path.ends_with("config.json")) {
                return IoError{"Access is denied.", 5};
            }
            return std::nullopt;
        });

    EXPECT_EQ(scan(true),
              "Scanning for installed JDKs...\n"
              "\n"
              "Found 2 JDK(s):\n"
              "\n"
              "  [new] C:\\Program Files\\Eclipse Adoptium\\jdk-21.0.1.12-hotspot \u2014 Eclipse "
              "Adoptium 21.0.1  (suggested alias: java21)\n"
              "    \u2717 Failed to add: Configuration error: Cannot read config file: Access is "
              "denied. (os error 5)\n"
              "  [new] C:\\Program Files\\Java\\jdk-17 \u2014 Oracle Corporation 17.0.2  "
              "(suggested alias: java17)\n"
              "    \u2717 Failed to add: Configuration error: Cannot read config file: Access is "
              "denied. (os error 5)\n"
              "\n"
              "No new JDKs were added (all already configured).\n");
    EXPECT_EQ(*fake.files.content(FakePlatform::k_config_path),
              "{\n  \"current\": null,\n  \"versions\": {}\n}");
}

TEST_F(ScanCommand, AutoAddRefusesAFolderUseCouldNotActivate) {
    fake.add_jdk("C:\\jdks\\a;b", release("17.0.2", "Oracle Corporation"));
    fake.environment.variables["JAVA_HOME"] = "C:\\jdks\\a;b";
    EXPECT_EQ(
        scan(true),
        "Scanning for installed JDKs...\n"
        "\n"
        "Found 1 JDK(s):\n"
        "\n"
        "  [new] C:\\jdks\\a;b \u2014 Oracle Corporation 17.0.2  (suggested alias: java17)\n"
        "    \u2717 Failed to add: Invalid JDK path: C:\\jdks\\a;b contains ';', which splits "
        "a Path entry in two; move the JDK to a folder without ';' to add it\n"
        "\n"
        "No new JDKs were added (all already configured).\n");
    EXPECT_FALSE(fake.files.exists(FakePlatform::k_config_path));
}

TEST_F(ScanCommand, AFailureAfterASuccessKeepsTheFirstAddAndCountsOnlyIt) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    fake.add_jdk("C:\\Program Files\\Java\\jdk-11", release("11.0.21", "Oracle Corporation"));
    fake.add_jdk("C:\\Program Files\\Java\\jdk-21", release("21.0.2", "Oracle Corporation"));
    // The configuration becomes unreadable once the first JDK is in it.
    auto& files = fake.files;
    files.set_failure_hook(
        [&files](std::string_view op, std::string_view path) -> std::optional<IoError> {
            auto content = files.content(FakePlatform::k_config_path);
            if (op == "read" && path.ends_with("config.json") && content &&
                content->find("java11") != std::string::npos) {
                return IoError{"Access is denied.", 5};
            }
            return std::nullopt;
        });

    std::string output = scan(true);
    EXPECT_NE(output.find("    \x1b[32m\u2714\x1b[0m Added as '\x1b[36mjava11\x1b[0m'\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("    \x1b[31m\u2717\x1b[0m Failed to add: Configuration error: Cannot "
                          "read config file: Access is denied. (os error 5)\n"),
              std::string::npos)
        << output;
    EXPECT_TRUE(output.ends_with("\n\x1b[1;32m\u2714\x1b[0m Added 1 new JDK(s) to config.\n"))
        << output;
    auto content = files.content(FakePlatform::k_config_path);
    ASSERT_TRUE(content.has_value());
    EXPECT_NE(content->find("\"java11\""), std::string::npos);
    EXPECT_EQ(content->find("\"java21\""), std::string::npos);
}

// Records both streams in the order in which they would reach one shared console window.
class TranscriptConsole : public fakes::CapturingConsole {
public:
    std::string transcript;

    void flush(StandardStream stream) override {
        if (stream == StandardStream::Output) {
            transcript += output.substr(output_flushed);
        } else {
            transcript += error.substr(m_error_flushed);
            m_error_flushed = error.size();
        }
        CapturingConsole::flush(stream);
    }

private:
    std::size_t m_error_flushed = 0;
};

TEST_F(ScanCommand, CorruptFileWarningsAppearWhereTheConfigurationIsLoaded) {
    fake.add_jdk(k_oracle_17, release("17.0.2", "Oracle Corporation"));
    fake.files.add_file(FakePlatform::k_config_path, "{ not json");
    const std::string warning = "Warning: config file is corrupted (" +
                                parse_config("{ not json").error() + "), starting fresh.\n";
    TranscriptConsole console;
    Platform platform{fake.files,         fake.registry,    fake.processes,
                      fake.known_folders, fake.environment, console};
    Terminal terminal(console, fake.environment);
    CommandContext context{platform, terminal};

    EXPECT_TRUE(run_scan(context, true).has_value());
    // Discovery, the set of used aliases and the add each load the file once.
    EXPECT_EQ(console.transcript,
              "Scanning for installed JDKs...\n" + warning +
                  "\n"
                  "Found 1 JDK(s):\n"
                  "\n" +
                  warning +
                  "  [new] C:\\Program Files\\Java\\jdk-17 \u2014 Oracle Corporation 17.0.2  "
                  "(suggested alias: java17)\n" +
                  warning +
                  "    \u2714 Added as 'java17'\n"
                  "\n"
                  "\u2714 Added 1 new JDK(s) to config.\n");
}

}  // namespace
}  // namespace corvel
