#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "commands/commands.h"
#include "config/config.h"
#include "fake_platform.h"
#include "main/entry.h"

namespace corvel {
namespace {

constexpr std::string_view k_config = fakes::FakePlatform::k_config_path;
constexpr std::string_view k_temurin_release =
    "IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_VERSION=\"21.0.2\"\n";

// A config.json holding java21 (current) and java17, as the store writes it.
constexpr std::string_view k_two_entries =
    "{\n"
    "  \"current\": \"java21\",\n"
    "  \"versions\": {\n"
    "    \"java21\": {\n"
    "      \"path\": \"C:\\\\Java\\\\jdk-21\",\n"
    "      \"detected_version\": \"21.0.2\",\n"
    "      \"vendor\": \"Eclipse Adoptium\"\n"
    "    },\n"
    "    \"java17\": {\n"
    "      \"path\": \"C:\\\\Java\\\\jdk-17\",\n"
    "      \"detected_version\": null,\n"
    "      \"vendor\": null\n"
    "    }\n"
    "  }\n"
    "}";

struct Commands : ::testing::Test {
    fakes::FakePlatform fake;
    std::optional<Terminal> terminal;

    // The terminal decides colour once, so it is made after a test has set the environment.
    CommandResult add(std::string_view alias, std::string_view path) {
        CommandContext context = make_context();
        return run_add(context, alias, path);
    }
    CommandResult remove(std::string_view alias, bool force = false) {
        CommandContext context = make_context();
        return run_remove(context, alias, force);
    }
    CommandContext make_context() {
        if (!terminal) {
            terminal.emplace(fake.console, fake.environment);
        }
        return CommandContext{fake.platform, *terminal};
    }
    Config saved() {
        auto content = fake.files.content(k_config);
        if (!content) {
            ADD_FAILURE() << "config.json was not written";
            return {};
        }
        auto config = parse_config(*content);
        if (!config) {
            ADD_FAILURE() << "config.json does not parse: " << config.error();
            return {};
        }
        return *config;
    }
    void answer(std::string line) {
        fake.console.input.push_back(std::move(line));
    }
};

std::string error_of(const CommandResult& result) {
    return result ? std::string("<success>") : result.error().message;
}

// ---- add ------------------------------------------------------------------------------------

TEST_F(Commands, AddPrintsEveryStepAndSavesTheEntry) {
    fake.add_jdk("C:\\Java\\jdk-21", std::string(k_temurin_release));
    ASSERT_TRUE(add("java21", "C:\\Java\\jdk-21"));
    EXPECT_EQ(fake.console.output,
              "Validating path... OK\n"
              "Probing JDK metadata... Done (Eclipse Adoptium 21.0.2)\n"
              "\n"
              "\u2714 Added alias 'java21' \u2192 C:\\Java\\jdk-21\n"
              "Run 'corvel use java21' to activate it.\n");
    EXPECT_EQ(fake.console.error, "");
    EXPECT_EQ(fake.files.content(k_config),
              "{\n"
              "  \"current\": null,\n"
              "  \"versions\": {\n"
              "    \"java21\": {\n"
              "      \"path\": \"C:\\\\Java\\\\jdk-21\",\n"
              "      \"detected_version\": \"21.0.2\",\n"
              "      \"vendor\": \"Eclipse Adoptium\"\n"
              "    }\n"
              "  }\n"
              "}");
}

TEST_F(Commands, AddStylesEveryPiece) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    fake.add_jdk("C:\\jdk", std::string(k_temurin_release));
    ASSERT_TRUE(add("java21", "C:\\jdk"));
    EXPECT_EQ(fake.console.output,
              "Validating path... \x1b[32mOK\x1b[0m\n"
              "Probing JDK metadata... \x1b[32mDone\x1b[0m (Eclipse Adoptium 21.0.2)\n"
              "\n"
              "\x1b[1;32m\u2714\x1b[0m Added alias '\x1b[36mjava21\x1b[0m' \u2192 "
              "\x1b[2mC:\\jdk\x1b[0m\n"
              "Run \x1b[36m'corvel use java21'\x1b[0m to activate it.\n");
}

TEST_F(Commands, AddShowsEachProgressTextBeforeItsStepRuns) {
    fake.add_jdk("C:\\jdk", std::string(k_temurin_release));
    std::vector<std::string> seen;  // flushed output at each file-system operation
    fake.files.set_failure_hook([&](std::string_view op, std::string_view path) {
        seen.push_back(std::string(op) + " " + std::string(path) + " | " +
                       fake.console.output.substr(0, fake.console.output_flushed));
        return std::optional<IoError>();
    });
    ASSERT_TRUE(add("java21", "C:\\jdk"));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), "status C:\\jdk | Validating path... ");
    auto release = std::find_if(seen.begin(), seen.end(),
                                [](const std::string& s) { return s.starts_with("read C:\\jdk"); });
    ASSERT_NE(release, seen.end());
    EXPECT_EQ(*release, "read C:\\jdk\\release | Validating path... OK\nProbing JDK metadata... ");
}

// The save may wait for another corvel process; the finished line is on screen meanwhile.
TEST_F(Commands, AddShowsTheDoneLineBeforeWaitingForTheLock) {
    fake.add_jdk("C:\\jdk", std::string(k_temurin_release));
    std::string shown_at_lock;
    fake.files.set_failure_hook([&](std::string_view op, std::string_view) {
        if (op == "lock") {
            shown_at_lock = fake.console.output.substr(0, fake.console.output_flushed);
        }
        return std::optional<IoError>();
    });
    ASSERT_TRUE(add("java21", "C:\\jdk"));
    EXPECT_EQ(shown_at_lock,
              "Validating path... OK\nProbing JDK metadata... Done (Eclipse Adoptium 21.0.2)\n");
}

TEST_F(Commands, AddEchoesThePathAsTypedButStoresItTrimmed) {
    fake.add_jdk("C:\\jdk", std::string(k_temurin_release));
    ASSERT_TRUE(add("java21", "C:\\jdk\\"));
    EXPECT_NE(fake.console.output.find("'java21' \u2192 C:\\jdk\\\n"), std::string::npos);
    EXPECT_EQ(saved().versions.at("java21").path, "C:\\jdk");
}

TEST_F(Commands, AddOfUnknowableJdkSaysUnknownTwiceAndStoresNulls) {
    fake.add_jdk("C:\\jdk");  // no release file; the launcher cannot be started
    ASSERT_TRUE(add("mystery", "C:\\jdk"));
    EXPECT_NE(fake.console.output.find("Probing JDK metadata... Done (unknown unknown)\n"),
              std::string::npos);
    EXPECT_EQ(saved().versions.at("mystery"), (JdkEntry{"C:\\jdk", std::nullopt, std::nullopt}));
}

TEST_F(Commands, AddUsesTheLauncherWhenTheReleaseFileSaysNothing) {
    fake.add_jdk("C:\\jdk", "IMPLEMENTOR=\"Ignored\"\n");
    fake.processes.script_output("C:\\jdk\\bin\\java.exe",
                                 "openjdk version \"17.0.9\" 2023-10-17\nOpenJDK Runtime\n", "", 1);
    ASSERT_TRUE(add("java17", "C:\\jdk"));
    EXPECT_NE(fake.console.output.find("Done (OpenJDK 17.0.9)\n"), std::string::npos);
    EXPECT_EQ(saved().versions.at("java17"), (JdkEntry{"C:\\jdk", "17.0.9", "OpenJDK"}));
}

TEST_F(Commands, AddOfRuntimeOnlyFolderStopsAfterTheFirstProgressText) {
    fake.files.add_file("C:\\jre\\bin\\java.exe");
    fake.files.add_file("C:\\jre\\release", std::string(k_temurin_release));
    CommandResult result = add("jre", "C:\\jre");
    EXPECT_EQ(error_of(result),
              "Invalid JDK path: bin\\javac.exe not found in: C:\\jre (this looks like a JRE, not "
              "a full JDK)");
    EXPECT_EQ(fake.console.output, "Validating path... ");
    EXPECT_EQ(fake.console.output_flushed, fake.console.output.size());
    EXPECT_TRUE(fake.processes.calls().empty());
    EXPECT_FALSE(fake.files.exists(k_config));
    for (const std::string& entry : fake.files.log()) {
        EXPECT_FALSE(entry.starts_with("read")) << entry;
    }
}

TEST_F(Commands, AddOfMissingFolderNamesThePathAsTyped) {
    fake.files.add_directory("C:\\Java");
    EXPECT_EQ(error_of(add("java21", "C:\\Java\\nope\\")),
              "Invalid JDK path: Path does not exist: C:\\Java\\nope\\");
    EXPECT_EQ(fake.console.output, "Validating path... ");
    EXPECT_FALSE(fake.files.exists(k_config));
}

// A folder use could never activate is refused while validating, named as typed.
TEST_F(Commands, AddRefusesWhatUseWouldRefuse) {
    const std::pair<std::string, std::string> refused[] = {
        {"jdk-17\\",
         "jdk-17\\ is not a full path like C:\\jdks\\jdk-21 or \\\\server\\share\\jdk-21; add the "
         "JDK under its full path"},
        {"C:\\a;b\\",
         "C:\\a;b\\ contains ';', which splits a Path entry in two; move the JDK to a folder "
         "without ';' to add it"},
        {"C:\\a%b",
         "C:\\a%b contains '%', which Windows expands in Path; move the JDK to a folder without "
         "'%' to add it"},
        {"\\\\.\\C:\\jdk\\",
         "\\\\.\\C:\\jdk\\ is a device path, which other programs do not read as a folder; add "
         "the JDK under its plain path like C:\\jdks\\jdk-21"},
    };
    for (const auto& [path, message] : refused) {
        SCOPED_TRACE(path);
        fake.add_jdk(path);
        fake.console.output.clear();
        EXPECT_EQ(error_of(add("x", path)), "Invalid JDK path: " + message);
        EXPECT_EQ(fake.console.output, "Validating path... ");
    }
    EXPECT_FALSE(fake.files.exists(k_config));
}

// "J:" alone would be the current folder of drive J.
TEST_F(Commands, AddOfADriveRootStoresTheRoot) {
    fake.add_jdk("J:\\", std::string(k_temurin_release));
    ASSERT_TRUE(add("jroot", "J:\\\\"));
    EXPECT_EQ(saved().versions.at("jroot").path, "J:\\");
}

TEST_F(Commands, AddOfTakenAliasFailsAfterDoneAndKeepsTheFile) {
    fake.files.add_file(k_config, k_two_entries);
    fake.add_jdk("D:\\other", "JAVA_VERSION=\"22\"\n");
    EXPECT_EQ(error_of(add("java21", "D:\\other")), "Alias already exists: 'java21'");
    EXPECT_EQ(fake.console.output,
              "Validating path... OK\n"
              "Probing JDK metadata... Done (Unknown 22)\n");
    EXPECT_EQ(fake.files.content(k_config), k_two_entries);
}

TEST_F(Commands, AddOverDamagedConfigKeepsOnlyTheNewEntry) {
    fake.files.add_file(k_config, "{\"versions\": {\"old\": ");
    fake.add_jdk("C:\\jdk", std::string(k_temurin_release));
    ASSERT_TRUE(add("java21", "C:\\jdk"));
    EXPECT_TRUE(fake.console.error.starts_with("Warning: config file is corrupted ("))
        << fake.console.error;
    EXPECT_TRUE(fake.console.error.ends_with("), starting fresh.\n")) << fake.console.error;
    EXPECT_NE(fake.console.output.find("\u2714 Added alias 'java21'"), std::string::npos);
    Config config = saved();
    EXPECT_EQ(config.current, std::nullopt);
    ASSERT_EQ(config.versions.size(), 1u);
    EXPECT_EQ(config.versions.at("java21"), (JdkEntry{"C:\\jdk", "21.0.2", "Eclipse Adoptium"}));
}

TEST_F(Commands, AddWithoutConfigFolderFailsAfterProbing) {
    fake.known_folders.app_data = std::nullopt;
    fake.add_jdk("C:\\jdk", std::string(k_temurin_release));
    EXPECT_EQ(error_of(add("java21", "C:\\jdk")),
              "Configuration error: Cannot locate user config directory");
    EXPECT_EQ(fake.console.output,
              "Validating path... OK\n"
              "Probing JDK metadata... Done (Eclipse Adoptium 21.0.2)\n");
}

TEST_F(Commands, AddKeepsUnusualAliasAndPathTextAsTyped) {
    const std::string path = "C:\\Program Files\\J\u00e4va \u65e5\u672c\\jdk 21";
    fake.add_jdk(path, "JAVA_VERSION=\"21\"\nIMPLEMENTOR=\"\u00c9diteur\"\n");
    ASSERT_TRUE(add(" j\u00e4 ", path));
    EXPECT_NE(fake.console.output.find("Done (\u00c9diteur 21)\n\n\u2714 Added alias ' j\u00e4 ' "
                                       "\u2192 " +
                                       path + "\nRun 'corvel use  j\u00e4 ' to activate it.\n"),
              std::string::npos);
    EXPECT_EQ(saved().versions.at(" j\u00e4 ").path, path);
}

TEST(AddThroughEntry, FailureLeavesTheProgressLineOpenAndExitsWithOne) {
    fakes::FakePlatform fake;
    fake.files.add_file("C:\\jre\\bin\\java.exe");
    std::vector<std::string> arguments{"add", "jre", "C:\\jre"};
    EXPECT_EQ(run_entry(fake.platform, arguments), 1);
    EXPECT_EQ(fake.console.output, "Validating path... ");
    EXPECT_EQ(fake.console.error,
              "Error: Invalid JDK path: bin\\javac.exe not found in: C:\\jre (this looks like a "
              "JRE, not a full JDK)\n");
}

// ---- remove ---------------------------------------------------------------------------------

constexpr std::string_view k_prompt = "Remove alias 'java21'? [y/N] ";

TEST_F(Commands, RemoveAnsweredYesRemovesAndClearsCurrent) {
    fake.files.add_file(k_config, k_two_entries);
    answer("y\n");
    ASSERT_TRUE(remove("java21"));
    EXPECT_EQ(fake.console.output, std::string(k_prompt) + "\u2714 Removed alias 'java21'.\n");
    ASSERT_EQ(fake.console.flushed_at_read.size(), 1u);
    EXPECT_EQ(fake.console.flushed_at_read[0], k_prompt.size());
    Config config = saved();
    EXPECT_EQ(config.current, std::nullopt);
    EXPECT_EQ(config.versions.size(), 1u);
    EXPECT_TRUE(config.versions.contains("java17"));
    EXPECT_NE(fake.files.content(k_config)->find("\"current\": null,"), std::string::npos);
}

TEST_F(Commands, RemoveAcceptsOnlyALoneYAfterTrimming) {
    // 4,096 characters before the line end are an answer (4,097 are declined below).
    const std::string longest = "Y" + std::string(4095, ' ') + "\r\n";
    const std::string accepted[] = {
        "y", "Y\n", "  Y  \r\n", "\ty\r\n", "\u3000Y\u00a0\u2028\n", "\u0085y\u200a", longest};
    for (const std::string& line : accepted) {
        fakes::FakePlatform local;
        local.files.add_file(k_config, k_two_entries);
        local.console.input.push_back(line);
        Terminal local_terminal(local.console, local.environment);
        CommandContext context{local.platform, local_terminal};
        EXPECT_TRUE(run_remove(context, "java17", false)) << line;
        EXPECT_TRUE(local.console.output.ends_with("\u2714 Removed alias 'java17'.\n")) << line;
    }
}

TEST_F(Commands, RemoveDeclinedByAnyOtherAnswerChangesNothing) {
    const std::string declined[] = {
        "yes\n",     "n\n",       "N\n",      "\n",
        "\r\n",      "",          "yy\n",     "y y\n",
        "Yes\n",     "\u00ffy\n", "\xc3\xbd", "y\x7f",
        "\u200by\n", "y.\n",      "1\n",      "y" + std::string(4096, ' ') + "\r\n"};
    for (const std::string& line : declined) {
        fakes::FakePlatform local;
        local.files.add_file(k_config, k_two_entries);
        local.console.input.push_back(line);
        Terminal local_terminal(local.console, local.environment);
        CommandContext context{local.platform, local_terminal};
        EXPECT_TRUE(run_remove(context, "java21", false)) << line;
        EXPECT_EQ(local.console.output, std::string(k_prompt) + "Cancelled.\n") << line;
        EXPECT_EQ(local.files.content(k_config), k_two_entries) << line;
    }
}

TEST_F(Commands, RemoveAtEndOfInputCancels) {
    fake.files.add_file(k_config, k_two_entries);
    ASSERT_TRUE(remove("java21"));  // no input scripted: end of input
    EXPECT_EQ(fake.console.output, std::string(k_prompt) + "Cancelled.\n");
    EXPECT_EQ(fake.files.content(k_config), k_two_entries);
}

TEST_F(Commands, RemoveFailsWithTheReadErrorText) {
    fake.files.add_file(k_config, k_two_entries);
    fake.console.input.push_back(
        std::unexpected(std::string("stream did not contain valid UTF-8")));
    EXPECT_EQ(error_of(remove("java21")), "stream did not contain valid UTF-8");
    EXPECT_EQ(fake.console.output, k_prompt);
    EXPECT_EQ(fake.files.content(k_config), k_two_entries);
}

TEST_F(Commands, RemovePromptsBeforeLookingTheAliasUp) {
    fake.files.add_file(k_config, k_two_entries);
    answer("y\n");
    EXPECT_EQ(error_of(remove("ghost")), "Alias not found: 'ghost'");
    EXPECT_EQ(fake.console.output, "Remove alias 'ghost'? [y/N] ");
    EXPECT_EQ(fake.files.content(k_config), k_two_entries);

    fakes::FakePlatform declined;
    declined.files.add_file(k_config, k_two_entries);
    Terminal local_terminal(declined.console, declined.environment);
    CommandContext context{declined.platform, local_terminal};
    EXPECT_TRUE(run_remove(context, "ghost", false));
    EXPECT_EQ(declined.console.output, "Remove alias 'ghost'? [y/N] Cancelled.\n");
}

TEST_F(Commands, ForcedRemoveAsksNothing) {
    fake.files.add_file(k_config, k_two_entries);
    answer("n\n");
    ASSERT_TRUE(remove("java17", true));
    EXPECT_EQ(fake.console.output, "\u2714 Removed alias 'java17'.\n");
    EXPECT_TRUE(fake.console.flushed_at_read.empty());
    EXPECT_EQ(saved().current, "java21");
}

TEST_F(Commands, ForcedRemoveOfUnknownAliasFailsAtOnce) {
    EXPECT_EQ(error_of(remove("ghost", true)), "Alias not found: 'ghost'");
    EXPECT_EQ(fake.console.output, "");
    EXPECT_TRUE(fake.console.flushed_at_read.empty());
    EXPECT_FALSE(fake.files.exists(k_config));
}

TEST_F(Commands, RemoveStylesPromptAndResult) {
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    fake.files.add_file(k_config, k_two_entries);
    answer("Y\n");
    ASSERT_TRUE(remove("java21"));
    EXPECT_EQ(fake.console.output,
              "Remove alias '\x1b[36mjava21\x1b[0m'? [y/N] "
              "\x1b[1;32m\u2714\x1b[0m Removed alias '\x1b[36mjava21\x1b[0m'.\n");
}

}  // namespace
}  // namespace corvel
