#include <gtest/gtest.h>

#include <utility>

#include "commands/commands.h"
#include "config/config.h"
#include "fake_platform.h"

namespace corvel {
namespace {

using fakes::FakePlatform;

struct Outcome {
    bool ok;
    std::string message;  // the CommandError text on failure
    std::string output;
    std::string error;
};

// Registers `path` under java21 (and `extra` more aliases) and runs export-shell.
Outcome export_shell(FakePlatform& fake, std::string_view alias, std::string_view shell) {
    Terminal terminal(fake.console, fake.environment);
    CommandContext context{fake.platform, terminal};
    CommandResult result = run_export_shell(context, alias, shell);
    return Outcome{result.has_value(), result ? std::string() : result.error().message,
                   fake.console.output, fake.console.error};
}

Outcome export_path(std::string_view path, std::string_view shell) {
    FakePlatform fake;
    Config config;
    config.versions["java21"] = JdkEntry{std::string(path), "21", "V"};
    fake.files.add_file(FakePlatform::k_config_path, serialize_config(config));
    return export_shell(fake, "java21", shell);
}

const std::string k_powershell_lines =
    "# Run these commands in your current PowerShell session:\n"
    "$env:JAVA_HOME = 'C:\\Java\\jdk-21'\n"
    "$env:PATH = 'C:\\Java\\jdk-21\\bin;' + $env:PATH\n";

const std::string k_cmd_lines =
    ":: Run these commands in your current CMD session:\n"
    "SET JAVA_HOME=C:\\Java\\jdk-21\n"
    "SET \"PATH=C:\\Java\\jdk-21\\bin;%PATH%\"\n";

TEST(ExportShell, EveryPowerShellNamePrintsThePowerShellLines) {
    for (const char* shell : {"powershell", "ps", "ps1", "PowerShell", "POWERSHELL", "PS", "Ps1"}) {
        SCOPED_TRACE(shell);
        Outcome outcome = export_path("C:\\Java\\jdk-21", shell);
        EXPECT_TRUE(outcome.ok) << outcome.message;
        EXPECT_EQ(outcome.output, k_powershell_lines);
        EXPECT_EQ(outcome.error, "");
    }
}

TEST(ExportShell, EveryCmdNamePrintsTheCmdLines) {
    for (const char* shell : {"cmd", "bat", "CMD", "Bat", "cMd", "BAT"}) {
        SCOPED_TRACE(shell);
        Outcome outcome = export_path("C:\\Java\\jdk-21", shell);
        EXPECT_TRUE(outcome.ok) << outcome.message;
        EXPECT_EQ(outcome.output, k_cmd_lines);
    }
}

TEST(ExportShell, OutputIsPlainEvenWhenColourIsForced) {
    FakePlatform fake;
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    fake.console.output_is_terminal = true;
    Config config;
    config.versions["java21"] = JdkEntry{"C:\\Java\\jdk-21", std::nullopt, std::nullopt};
    fake.files.add_file(FakePlatform::k_config_path, serialize_config(config));
    Outcome outcome = export_shell(fake, "java21", "powershell");
    EXPECT_EQ(outcome.output, k_powershell_lines);
    EXPECT_EQ(fake.console.output_flushed, fake.console.output.size());
}

TEST(ExportShell, UnknownShellIsNamedAsTyped) {
    for (const char* shell : {"bash", "BASH", "", "power shell", "cmd.exe", "pwsh"}) {
        SCOPED_TRACE(shell);
        Outcome outcome = export_path("C:\\Java\\jdk-21", shell);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.message,
                  "Unknown shell '" + std::string(shell) + "'. Use 'powershell' or 'cmd'.");
        EXPECT_EQ(outcome.output, "");
    }
}

TEST(ExportShell, UnknownAliasIsReportedBeforeAnUnknownShell) {
    FakePlatform fake;
    Outcome outcome = export_shell(fake, "java99", "bash");
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.message, "Alias 'java99' not found");
    EXPECT_EQ(outcome.output, "");
}

TEST(ExportShell, AliasLookupIsExact) {
    FakePlatform fake;
    Config config;
    config.versions["java21"] = JdkEntry{"C:\\j", std::nullopt, std::nullopt};
    fake.files.add_file(FakePlatform::k_config_path, serialize_config(config));
    EXPECT_EQ(export_shell(fake, "Java21", "cmd").message, "Alias 'Java21' not found");
    EXPECT_EQ(export_shell(fake, "java21 ", "cmd").message, "Alias 'java21 ' not found");
    EXPECT_EQ(fake.console.output, "");
}

TEST(ExportShell, UnreadableConfigurationFailsWithItsError) {
    FakePlatform fake;
    fake.files.add_file(FakePlatform::k_config_path, "{\"versions\":{\"\xFF\":{}}}");
    Outcome outcome = export_shell(fake, "java21", "cmd");
    EXPECT_EQ(outcome.message,
              "Configuration error: Cannot read config file: stream did not contain valid UTF-8");
    EXPECT_EQ(outcome.output, "");
}

TEST(ExportShell, CorruptConfigurationWarnsAndFindsNoAlias) {
    FakePlatform fake;
    fake.files.add_file(FakePlatform::k_config_path, "{}");
    Outcome outcome = export_shell(fake, "java21", "cmd");
    EXPECT_EQ(outcome.message, "Alias 'java21' not found");
    EXPECT_TRUE(outcome.error.starts_with("Warning: config file is corrupted ("));
    EXPECT_EQ(outcome.output, "");
}

TEST(ExportShell, ChangesNothing) {
    FakePlatform fake;
    Config config;
    config.versions["java21"] = JdkEntry{"C:\\j", std::nullopt, std::nullopt};
    fake.files.add_file(FakePlatform::k_config_path,
                        "{\"versions\":{\"java21\":{\"path\":\"C:\\\\j\"}}}");
    ASSERT_TRUE(export_shell(fake, "java21", "cmd").ok);
    for (const std::string& entry : fake.files.log()) {
        EXPECT_TRUE(entry.starts_with("status ") || entry.starts_with("read ")) << entry;
    }
    EXPECT_TRUE(fake.processes.calls().empty());
    EXPECT_TRUE(fake.registry.log().empty());
}

TEST(ExportShell, TrailingSeparatorsStayInJavaHomeButNotInBin) {
    EXPECT_EQ(export_path("C:\\Java\\jdk-21\\", "ps").output,
              "# Run these commands in your current PowerShell session:\n"
              "$env:JAVA_HOME = 'C:\\Java\\jdk-21\\'\n"
              "$env:PATH = 'C:\\Java\\jdk-21\\bin;' + $env:PATH\n");
    EXPECT_EQ(export_path("C:\\Java\\jdk-21\\\\", "cmd").output,
              ":: Run these commands in your current CMD session:\n"
              "SET JAVA_HOME=C:\\Java\\jdk-21\\\\\n"
              "SET \"PATH=C:\\Java\\jdk-21\\bin;%PATH%\"\n");
    EXPECT_EQ(export_path("C:/Java/jdk-21/", "cmd").output,
              ":: Run these commands in your current CMD session:\n"
              "SET JAVA_HOME=C:/Java/jdk-21/\n"
              "SET \"PATH=C:/Java/jdk-21\\bin;%PATH%\"\n");
}

TEST(ExportShell, SpacesNeedNoQuotesInJavaHome) {
    EXPECT_EQ(export_path("C:\\Program Files\\Java\\jdk 21", "cmd").output,
              ":: Run these commands in your current CMD session:\n"
              "SET JAVA_HOME=C:\\Program Files\\Java\\jdk 21\n"
              "SET \"PATH=C:\\Program Files\\Java\\jdk 21\\bin;%PATH%\"\n");
    EXPECT_EQ(export_path("C:\\Program Files\\Java\\jdk 21", "powershell").output,
              "# Run these commands in your current PowerShell session:\n"
              "$env:JAVA_HOME = 'C:\\Program Files\\Java\\jdk 21'\n"
              "$env:PATH = 'C:\\Program Files\\Java\\jdk 21\\bin;' + $env:PATH\n");
}

// Windows PowerShell reads a native program's output in the console's code page, so the lines
// are pure ASCII: every other character is a [char] term, and each value starts with a string.
TEST(ExportShell, PowerShellLinesArePureAscii) {
    EXPECT_EQ(export_path("C:\\Users\\J\u00f6rg's \u2018jdk\u2019\\\U0001F600", "ps").output,
              "# Run these commands in your current PowerShell session:\n"
              "$env:JAVA_HOME = 'C:\\Users\\J' + [char]0x00F6 + 'rg''s ' + [char]0x2018 + 'jdk' + "
              "[char]0x2019 + '\\' + [char]0xD83D + [char]0xDE00\n"
              "$env:PATH = 'C:\\Users\\J' + [char]0x00F6 + 'rg''s ' + [char]0x2018 + 'jdk' + "
              "[char]0x2019 + '\\' + [char]0xD83D + [char]0xDE00 + '\\bin;' + $env:PATH\n");
    EXPECT_EQ(export_path("\\\\\u00e9t\u00e9\\share", "ps").output,
              "# Run these commands in your current PowerShell session:\n"
              "$env:JAVA_HOME = '\\\\' + [char]0x00E9 + 't' + [char]0x00E9 + '\\share'\n"
              "$env:PATH = '\\\\' + [char]0x00E9 + 't' + [char]0x00E9 + '\\share\\bin;' + "
              "$env:PATH\n");
    // Nothing else is special inside single quotes.
    EXPECT_EQ(export_path("C:\\$env:x `n \"q\" &", "ps").output,
              "# Run these commands in your current PowerShell session:\n"
              "$env:JAVA_HOME = 'C:\\$env:x `n \"q\" &'\n"
              "$env:PATH = 'C:\\$env:x `n \"q\" &\\bin;' + $env:PATH\n");
}

// A line end would end the quoted string and run the rest as code, and the terminal would show
// the other controls as U+FFFD: every character outside printable ASCII is a [char] term.
TEST(ExportShell, PowerShellWritesControlsAsCharTerms) {
    EXPECT_EQ(export_path(std::string("C:\\a\nb\t\x7f\u0085\u202E\u2028\0", 17), "ps").output,
              "# Run these commands in your current PowerShell session:\n"
              "$env:JAVA_HOME = 'C:\\a' + [char]0x000A + 'b' + [char]0x0009 + [char]0x007F + "
              "[char]0x0085 + [char]0x202E + [char]0x2028 + [char]0x0000\n"
              "$env:PATH = 'C:\\a' + [char]0x000A + 'b' + [char]0x0009 + [char]0x007F + "
              "[char]0x0085 + [char]0x202E + [char]0x2028 + [char]0x0000 + '\\bin;' + "
              "$env:PATH\n");
}

TEST(ExportShell, CmdOperatorsInThePathUseTheQuotedForm) {
    // Parentheses are plain text where these lines run.
    EXPECT_EQ(export_path("C:\\Program Files (x86)\\Java\\jdk1.8", "cmd").output,
              ":: Run these commands in your current CMD session:\n"
              "SET JAVA_HOME=C:\\Program Files (x86)\\Java\\jdk1.8\n"
              "SET \"PATH=C:\\Program Files (x86)\\Java\\jdk1.8\\bin;%PATH%\"\n");
    for (std::string path : {"C:\\a&b", "C:\\x^y", "C:\\a|b<c>d"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(export_path(path, "cmd").output,
                  ":: Run these commands in your current CMD session:\n"
                  "SET \"JAVA_HOME=" +
                      path +
                      "\"\n"
                      "SET \"PATH=" +
                      path + "\\bin;%PATH%\"\n");
    }
    EXPECT_EQ(export_path("C:\\a&b\\", "cmd").output,
              ":: Run these commands in your current CMD session:\n"
              "SET \"JAVA_HOME=C:\\a&b\\\"\n"
              "SET \"PATH=C:\\a&b\\bin;%PATH%\"\n");
}

// A root that would split, expand or float in Path is refused for both shells, as by `use`.
TEST(ExportShell, RootsThatCannotStandInPathAreRefused) {
    const std::pair<std::string, std::string> refused[] = {
        {"C:\\jdks\\semi;colon",
         "C:\\jdks\\semi;colon contains ';', which splits a Path entry in two; move the JDK to a "
         "folder without ';' and register it again"},
        {"C:\\jdks\\%PATH%",
         "C:\\jdks\\%PATH% contains '%', which Windows expands in Path; move the JDK to a folder "
         "without '%' and register it again"},
        {"jdks\\c",
         "jdks\\c is not a full path like C:\\jdks\\jdk-21 or \\\\server\\share\\jdk-21; register "
         "the JDK again under its full path"},
    };
    for (const auto& [path, message] : refused) {
        for (const char* shell : {"cmd", "powershell"}) {
            SCOPED_TRACE(path + " " + shell);
            Outcome outcome = export_path(path, shell);
            EXPECT_EQ(outcome.message, "Invalid JDK path: " + message);
            EXPECT_EQ(outcome.output, "");
        }
    }
    for (const char* relative : {"C:", "C:jdk", "\\jdk", "\\\\server", "\\\\\\share", ""}) {
        SCOPED_TRACE(relative);
        EXPECT_TRUE(export_path(relative, "cmd")
                        .message.ends_with(" is not a full path like C:\\jdks\\jdk-21 or "
                                           "\\\\server\\share\\jdk-21; register the "
                                           "JDK again under its full path"));
    }
    EXPECT_EQ(export_path("\\\\server\\share", "cmd").output,
              ":: Run these commands in your current CMD session:\n"
              "SET JAVA_HOME=\\\\server\\share\n"
              "SET \"PATH=\\\\server\\share\\bin;%PATH%\"\n");
}

// cmd can only hold a character as it is, and the terminal would show these as U+FFFD.
TEST(ExportShell, CmdRefusesWhatItsLinesCannotHold) {
    for (std::string path :
         {std::string("C:\\a\"b"), std::string("C:\\a\nb"), std::string("C:\\a\rcalc"),
          std::string("C:\\a\0b", 6), std::string("C:\\a\tb"), std::string("C:\\a\x7f"),
          std::string("C:\\a\u0085"), std::string("C:\\a\u009F"), std::string("C:\\a\u202Eb"),
          std::string("C:\\a\u2066"), std::string("C:\\a\u2028"), std::string("C:\\a\u2029")}) {
        SCOPED_TRACE(path);
        Outcome outcome = export_path(path, "cmd");
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.message,
                  "The path of alias 'java21' holds a double quote, a control character, a "
                  "bidirectional formatting character or a line separator, which a CMD line "
                  "cannot hold; open a new terminal after 'corvel use java21' instead");
        EXPECT_EQ(outcome.output, "");
        EXPECT_TRUE(export_path(path, "powershell").ok);
    }
}

}  // namespace
}  // namespace corvel
