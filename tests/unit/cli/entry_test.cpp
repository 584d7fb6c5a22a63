#include "main/entry.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "main/grammar.h"

namespace corvel {
namespace {

struct RunResult {
    int status;
    std::string output;
    std::string error;
};

RunResult run(fakes::FakePlatform& fake, std::vector<std::string> arguments) {
    int status = run_entry(fake.platform, arguments);
    return RunResult{status, fake.console.output, fake.console.error};
}

std::optional<CliCommand> parse(std::vector<std::string> arguments) {
    fakes::CapturingConsole console;
    return parse_command_line(arguments, console).command;
}

TEST(Entry, VersionPrintsOnStandardOutput) {
    fakes::FakePlatform fake;
    RunResult result = run(fake, {"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "corvel 0.1.0\n");
    EXPECT_EQ(result.error, "");
    EXPECT_TRUE(fake.console.virtual_terminal_enabled);
}

TEST(Entry, NotElevatedWarnsBeforeAnythingElse) {
    fakes::FakePlatform fake;
    fake.environment.elevated = false;
    RunResult result = run(fake, {"-V"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output,
              "\u26A0 Not running as Administrator \u2014 system-wide (HKLM) JAVA_HOME/PATH "
              "updates will be skipped.\n  User environment (HKCU) updates will still "
              "work.\n\ncorvel 0.1.0\n");
}

TEST(Entry, NotElevatedWarningSignIsYellowBold) {
    fakes::FakePlatform fake;
    fake.environment.elevated = false;
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    RunResult result = run(fake, {"-V"});
    EXPECT_TRUE(result.output.starts_with("\x1b[1;33m\u26A0\x1b[0m Not running"));
}

TEST(Entry, NoArgumentsPrintsHelpOnStandardErrorWithStatus2) {
    fakes::FakePlatform fake;
    RunResult result = run(fake, {});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.output, "");
    EXPECT_NE(result.error.find("Java JDK version manager for Windows"), std::string::npos);
    EXPECT_NE(result.error.find("export-shell"), std::string::npos);
}

TEST(Entry, HelpListsEveryAboutText) {
    for (std::vector<std::string> arguments :
         {std::vector<std::string>{"--help"}, std::vector<std::string>{"help"},
          std::vector<std::string>{"-h"}}) {
        fakes::FakePlatform fake;
        RunResult result = run(fake, arguments);
        EXPECT_EQ(result.status, 0);
        for (const char* text :
             {"Java JDK version manager for Windows",
              "Manage multiple JDK installations, switch JAVA_HOME, and keep your PATH clean.",
              "List all configured Java versions", "Add a JDK with a given alias and path",
              "Remove a configured Java version by alias",
              "Switch to a configured Java version (updates JAVA_HOME and PATH)",
              "Show the currently active Java version",
              "Scan common Windows locations for installed JDKs",
              "Run diagnostics and show environment health",
              "Print shell commands to activate a version in the current terminal session"}) {
            EXPECT_NE(result.output.find(text), std::string::npos) << text;
        }
    }
}

TEST(Entry, SubcommandHelpShowsArgumentTexts) {
    fakes::FakePlatform fake;
    RunResult result = run(fake, {"help", "add"});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.output.find("Short name for this JDK (e.g. java21)"), std::string::npos);
    EXPECT_NE(result.output.find("Absolute path to the JDK root folder"), std::string::npos);

    fakes::FakePlatform fake2;
    RunResult shell = run(fake2, {"export-shell", "--help"});
    EXPECT_EQ(shell.status, 0);
    EXPECT_NE(shell.output.find("Target shell: powershell (default) or cmd"), std::string::npos);
}

TEST(Entry, UsageErrorsEndWithStatus2AndNothingOnStandardOutput) {
    for (std::vector<std::string> arguments :
         {std::vector<std::string>{"add", "java21"}, std::vector<std::string>{"frobnicate"},
          std::vector<std::string>{"list", "extra"}, std::vector<std::string>{"scan", "--bogus"},
          std::vector<std::string>{"use"}, std::vector<std::string>{"help", "nothing"}}) {
        fakes::FakePlatform fake;
        RunResult result = run(fake, arguments);
        EXPECT_EQ(result.status, 2) << arguments.front();
        EXPECT_EQ(result.output, "") << arguments.front();
        EXPECT_FALSE(result.error.empty()) << arguments.front();
        EXPECT_TRUE(fake.files.log().empty());
    }
}

TEST(Entry, MissingPathIsNamed) {
    fakes::FakePlatform fake;
    RunResult result = run(fake, {"add", "java21"});
    EXPECT_NE(result.error.find("PATH"), std::string::npos);
    EXPECT_NE(result.error.find("Usage"), std::string::npos);
}

TEST(Entry, UnknownSubcommandIsNamed) {
    fakes::FakePlatform fake;
    RunResult result = run(fake, {"LIST"});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.error.starts_with("error: unrecognized subcommand 'LIST'\n"));
}

TEST(Entry, FailedCommandPrintsOneErrorLine) {
    fakes::FakePlatform fake;
    fake.known_folders.app_data.reset();
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    RunResult result = run(fake, {"use", "java21"});
    EXPECT_EQ(result.status, 1);
    ASSERT_TRUE(result.error.starts_with("\x1b[1;31mError:\x1b[0m "));
    EXPECT_EQ(result.error.find('\n'), result.error.size() - 1);
}

TEST(Grammar, MapsEverySubcommandWithItsValuesAsTyped) {
    auto add = parse({"add", " Java 21 ", "C:\\jdk\\"});
    ASSERT_TRUE(add);
    auto& added = std::get<CliCommand::Add>(add->value);
    EXPECT_EQ(added.alias, " Java 21 ");
    EXPECT_EQ(added.path, "C:\\jdk\\");

    EXPECT_TRUE(std::get<CliCommand::Remove>(parse({"remove", "a", "-f"})->value).force);
    EXPECT_TRUE(std::get<CliCommand::Remove>(parse({"remove", "a", "--force"})->value).force);
    EXPECT_FALSE(std::get<CliCommand::Remove>(parse({"remove", "a"})->value).force);
    EXPECT_TRUE(std::get<CliCommand::Scan>(parse({"scan", "-a"})->value).auto_add);
    EXPECT_TRUE(std::get<CliCommand::Scan>(parse({"scan", "--auto-add"})->value).auto_add);
    EXPECT_EQ(std::get<CliCommand::ExportShell>(parse({"export-shell", "x"})->value).shell,
              "powershell");
    EXPECT_EQ(
        std::get<CliCommand::ExportShell>(parse({"export-shell", "x", "--shell", "CMD"})->value)
            .shell,
        "CMD");
    EXPECT_TRUE(std::holds_alternative<CliCommand::List>(parse({"list"})->value));
    EXPECT_TRUE(std::holds_alternative<CliCommand::Current>(parse({"current"})->value));
    EXPECT_TRUE(std::holds_alternative<CliCommand::Doctor>(parse({"doctor"})->value));
    EXPECT_EQ(std::get<CliCommand::Use>(parse({"use", "\u00e9"})->value).alias, "\u00e9");
}

}  // namespace
}  // namespace corvel
