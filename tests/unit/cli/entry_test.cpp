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

const std::string k_not_elevated_warning =
    "\u26A0 Not running as Administrator \u2014 system-wide (HKLM) JAVA_HOME/PATH updates will be "
    "skipped.\n  User environment (HKCU) updates will still work.\n\n";

TEST(Entry, NotElevatedWarnsBeforeAnythingElse) {
    fakes::FakePlatform fake;
    fake.environment.elevated = false;
    RunResult result = run(fake, {"-V"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, k_not_elevated_warning + "corvel 0.1.0\n");

    fakes::FakePlatform listing;
    listing.environment.elevated = false;
    result = run(listing, {"list"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.error, "");
    EXPECT_TRUE(result.output.starts_with(k_not_elevated_warning + "No Java versions configured."))
        << result.output;
}

// export-shell's output is run by the shell, so the warning must not be part of it.
TEST(Entry, NotElevatedWarningGoesToStandardErrorForExportShellAlone) {
    fakes::FakePlatform fake;
    fake.environment.elevated = false;
    fake.files.add_file(fakes::FakePlatform::k_config_path,
                        R"({"versions": {"java21": {"path": "C:\\Java\\jdk-21"}}})");
    RunResult result = run(fake, {"export-shell", "java21", "--shell", "cmd"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.error, k_not_elevated_warning);
    EXPECT_EQ(result.output,
              ":: Run these commands in your current CMD session:\n"
              "SET JAVA_HOME=C:\\Java\\jdk-21\n"
              "SET \"PATH=C:\\Java\\jdk-21\\bin;%PATH%\"\n");

    // Help and usage errors of every other subcommand keep the warning on standard output.
    for (std::vector<std::string> arguments :
         {std::vector<std::string>{"help", "export-shell"}, std::vector<std::string>{"use"}}) {
        fakes::FakePlatform other;
        other.environment.elevated = false;
        result = run(other, arguments);
        EXPECT_EQ(result.output.substr(0, k_not_elevated_warning.size()), k_not_elevated_warning);
        EXPECT_FALSE(result.error.starts_with("\u26A0")) << result.error;
    }
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

TEST(Entry, UsageErrorShowsTheUsageLineOfTheMistypedSubcommand) {
    struct Case {
        std::vector<std::string> arguments;
        std::string error;
    };
    const Case cases[] = {
        {{"add", "java21"}, "error: PATH is required\n\nUsage: corvel add <ALIAS> <PATH>\n"},
        {{"list", "extra"},
         "error: The following argument was not expected: extra\n\nUsage: corvel list\n"},
        {{"export-shell", "java21", "--shell", "cmd", "--shell", "powershell"},
         "error: the option '--shell' can be given only once\n\nUsage: corvel export-shell "
         "<ALIAS> [--shell <SHELL>]\n"},
        {{"help", "nothing"},
         "error: The following argument was not expected: nothing\n\nUsage: corvel help "
         "[COMMAND]\n"},
        // Before any subcommand the parser's own top-level line stays.
        {{"--verbose"}, "error: A subcommand is required\n\nUsage: corvel [OPTIONS] SUBCOMMAND\n"},
    };
    for (const Case& c : cases) {
        fakes::FakePlatform fake;
        RunResult result = run(fake, c.arguments);
        EXPECT_EQ(result.status, 2) << c.arguments.front();
        EXPECT_EQ(result.error, c.error + "\nFor more information, try '--help'.\n");
    }
}

TEST(Entry, FlagsTakeNoValue) {
    struct Case {
        std::vector<std::string> arguments;
        std::string error;
    };
    const Case cases[] = {
        {{"remove", "x", "--force=false"},
         "the flag '--force' takes no value, but was given '--force=false'\n\nUsage: corvel "
         "remove <ALIAS> [-f|--force]"},
        {{"remove", "x", "--force=no"}, "'--force=no'"},
        {{"remove", "x", "--force=true"}, "'--force=true'"},
        {{"remove", "x", "--force="}, "'--force='"},
        {{"remove", "-f=x", "x"}, "the flag '-f' takes no value, but was given '-f=x'"},
        {{"scan", "--auto-add=0"},
         "the flag '--auto-add' takes no value, but was given '--auto-add=0'\n\nUsage: corvel "
         "scan [-a|--auto-add]"},
        {{"scan", "-a=1"}, "'-a=1'"},
        {{"--version=1"}, "the flag '--version' takes no value"},
    };
    for (const Case& c : cases) {
        fakes::FakePlatform fake;
        RunResult result = run(fake, c.arguments);
        EXPECT_EQ(result.status, 2) << c.error;
        EXPECT_EQ(result.output, "") << c.error;
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
        EXPECT_TRUE(fake.processes.calls().empty());
    }
    // A value that merely looks like a flag is still a value.
    EXPECT_EQ(std::get<CliCommand::Remove>(parse({"remove", "--", "--force=x"})->value).alias,
              "--force=x");
    EXPECT_EQ(
        std::get<CliCommand::ExportShell>(parse({"export-shell", "a", "--shell", "-f=x"})->value)
            .shell,
        "-f=x");
    EXPECT_EQ(
        std::get<CliCommand::ExportShell>(parse({"export-shell", "a", "--shell=cmd"})->value).shell,
        "cmd");
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

// Output that could not be written is no success: status 1, and one line naming the cause unless
// the reader is gone or the command's own error line is there already.
TEST(Entry, OutputThatCannotBeWrittenEndsWithOne) {
    struct Case {
        std::vector<std::string> arguments;
        IoError failure;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{"list"},
         {"There is not enough space on the disk.", 112},
         "Error: Cannot write to standard output: There is not enough space on the disk. (os "
         "error 112)\n"},
        {{"--help"}, {"Pipe not connected.", 233}, ""},
        {{"use", "java21"},
         {"The pipe has been ended.", 109},
         "Error: Alias not found: 'java21'\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0]);
        fakes::FakePlatform fake;
        fake.console.output_failure = c.failure;
        RunResult result = run(fake, c.arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.error, c.error);
    }
    fakes::FakePlatform fake;
    fake.console.error_failure = IoError{"There is not enough space on the disk.", 112};
    EXPECT_EQ(run(fake, {"list"}).status, 1);

    // A usage error whose output (here the not-elevated warning) was lost keeps the parser's
    // text as its only error and its status 2.
    fakes::FakePlatform clean;
    const std::string usage_text = run(clean, {"frobnicate"}).error;
    fakes::FakePlatform lost;
    lost.environment.elevated = false;
    lost.console.output_failure = IoError{"There is not enough space on the disk.", 112};
    RunResult usage = run(lost, {"frobnicate"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.error, usage_text);
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

// CLI11 would take them for options on Windows; help is -h and --help only.
TEST(Grammar, ArgumentsStartingWithASlashAreValues) {
    auto add = parse({"add", "/x", "//server/share/jdk21"});
    ASSERT_TRUE(add);
    EXPECT_EQ(std::get<CliCommand::Add>(add->value).path, "//server/share/jdk21");
    for (const char* alias : {"/f", "/h", "/?", "/shell:cmd"}) {
        auto remove = parse({"remove", alias});
        ASSERT_TRUE(remove) << alias;
        EXPECT_EQ(std::get<CliCommand::Remove>(remove->value).alias, alias);
        EXPECT_FALSE(std::get<CliCommand::Remove>(remove->value).force);
    }
}

}  // namespace
}  // namespace corvel
