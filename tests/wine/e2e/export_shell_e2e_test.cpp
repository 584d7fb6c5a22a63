// End-to-end tests of export-shell under Wine: the exact lines for every accepted shell name, the
// failures, and that the printed CMD lines set exactly the registered path when cmd runs them.
#include <vector>

#include "harness.h"

namespace corvel::e2e {
namespace {

class ExportShellE2e : public E2eTest {};

// config.json registering `path` under java21, as corvel writes it.
void register_java21(const std::string& path) {
    std::string escaped_path;
    for (char c : path) {
        escaped_path += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    write_file(config_path(),
               "{\n  \"current\": null,\n  \"versions\": {\n    \"java21\": {\n"
               "      \"path\": \"" +
                   escaped_path +
                   "\",\n      \"detected_version\": \"21.0.2\",\n"
                   "      \"vendor\": \"OpenJDK\"\n    }\n  }\n}");
}

const std::string k_powershell_lines =
    "# Run these commands in your current PowerShell session:\n"
    "$env:JAVA_HOME = 'C:\\Java\\jdk-21'\n"
    "$env:PATH = 'C:\\Java\\jdk-21\\bin;' + $env:PATH\n";

const std::string k_cmd_lines =
    ":: Run these commands in your current CMD session:\n"
    "SET JAVA_HOME=C:\\Java\\jdk-21\n"
    "SET \"PATH=C:\\Java\\jdk-21\\bin;%PATH%\"\n";

TEST_F(ExportShellE2e, DefaultAndEveryPowerShellNamePrintTheSameThreeLines) {
    register_java21("C:\\Java\\jdk-21");
    std::vector<std::vector<Arg>> invocations = {{"export-shell", "java21"}};
    for (const char* shell : {"powershell", "ps", "ps1", "PowerShell", "PS1", "Ps"}) {
        invocations.push_back({"export-shell", "java21", "--shell", shell});
    }
    for (const std::vector<Arg>& args : invocations) {
        RunResult r = run_corvel(args);
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.out, k_powershell_lines) << r;
        EXPECT_EQ(r.err, "") << r;
    }
}

TEST_F(ExportShellE2e, EveryCmdNamePrintsTheSameThreeLines) {
    register_java21("C:\\Java\\jdk-21");
    for (const char* shell : {"cmd", "bat", "CMD", "Bat", "cMD"}) {
        RunResult r = run_corvel({"export-shell", "java21", "--shell", shell});
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.out, k_cmd_lines) << r;
        EXPECT_EQ(r.err, "") << r;
    }
}

TEST_F(ExportShellE2e, OutputStaysPlainWhenColourIsForced) {
    register_java21("C:\\Java\\jdk-21");
    RunOptions options;
    options.set_env = {{"CLICOLOR_FORCE", "1"}};
    RunResult r = run_corvel({"export-shell", "java21", "--shell", "cmd"}, options);
    EXPECT_EQ(r.out, k_cmd_lines) << r;
}

TEST_F(ExportShellE2e, FailuresPrintOneErrorLineAndNothingOnStandardOutput) {
    register_java21("C:\\Java\\jdk-21");
    struct Case {
        std::vector<Arg> args;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{"export-shell", "java17"}, "Error: Alias 'java17' not found\n"},
        {{"export-shell", "Java21", "--shell", "cmd"}, "Error: Alias 'Java21' not found\n"},
        {{"export-shell", "java17", "--shell", "bash"}, "Error: Alias 'java17' not found\n"},
        {{"export-shell", "java21", "--shell", "bash"},
         "Error: Unknown shell 'bash'. Use 'powershell' or 'cmd'.\n"},
        {{"export-shell", "java21", "--shell", "PWSH"},
         "Error: Unknown shell 'PWSH'. Use 'powershell' or 'cmd'.\n"},
        {{"export-shell", "java21", "--shell", "\xC3\x87MD"},
         "Error: Unknown shell '\xC3\x87MD'. Use 'powershell' or 'cmd'.\n"},
    };
    for (const Case& c : cases) {
        RunResult r = run_corvel(c.args);
        EXPECT_EQ(r.status, 1) << r;
        EXPECT_EQ(r.out, "") << r;
        EXPECT_EQ(r.err, c.error) << r;
    }
}

TEST_F(ExportShellE2e, WithoutAnyConfigurationTheAliasIsNotFound) {
    RunResult r = run_corvel({"export-shell", "java21"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "") << r;
    EXPECT_EQ(r.err, "Error: Alias 'java21' not found\n") << r;
    EXPECT_FALSE(path_exists(config_folder()));
}

TEST_F(ExportShellE2e, UnreadableConfigurationFailsWithItsError) {
    write_file(config_path(), "{\"current\": \"caf\xE9\", \"versions\": {}}");
    RunResult r = run_corvel({"export-shell", "java21", "--shell", "cmd"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "") << r;
    EXPECT_EQ(r.err,
              "Error: Configuration error: Cannot read config file: stream did not contain valid "
              "UTF-8\n")
        << r;
}

TEST_F(ExportShellE2e, TrailingBackslashStaysInJavaHomeOnly) {
    register_java21("C:\\Java\\jdk-21\\");
    RunResult r = run_corvel({"export-shell", "java21", "--shell", "cmd"});
    EXPECT_EQ(r.out,
              ":: Run these commands in your current CMD session:\n"
              "SET JAVA_HOME=C:\\Java\\jdk-21\\\n"
              "SET \"PATH=C:\\Java\\jdk-21\\bin;%PATH%\"\n")
        << r;
}

TEST_F(ExportShellE2e, PowerShellLinesAreAsciiWithSingleQuotesDoubled) {
    register_java21("C:\\Users\\O'Brien\\J\u00f6rg \u2019\U0001F600");
    RunResult r = run_corvel({"export-shell", "java21"});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out,
              "# Run these commands in your current PowerShell session:\n"
              "$env:JAVA_HOME = 'C:\\Users\\O''Brien\\J' + [char]0x00F6 + 'rg ' + [char]0x2019 + "
              "[char]0xD83D + [char]0xDE00\n"
              "$env:PATH = 'C:\\Users\\O''Brien\\J' + [char]0x00F6 + 'rg ' + [char]0x2019 + "
              "[char]0xD83D + [char]0xDE00 + '\\bin;' + $env:PATH\n")
        << r;
}

// cmd lines hold characters as they are, and the terminal would show these as U+FFFD.
TEST_F(ExportShellE2e, CmdRefusesABidiControlAndDel) {
    register_java21("C:\\jdks\\a\u202Eb\x7f");
    RunResult cmd = run_corvel({"export-shell", "java21", "--shell", "cmd"});
    EXPECT_EQ(cmd.status, 1) << cmd;
    EXPECT_EQ(cmd.out, "") << cmd;
    EXPECT_EQ(cmd.err,
              "Error: The path of alias 'java21' holds a double quote, a control character, a "
              "bidirectional formatting character or a line separator, which a CMD line cannot "
              "hold; open a new terminal after 'corvel use java21' instead\n")
        << cmd;
}

// What JAVA_HOME and PATH hold after cmd ran `lines`: typed at the prompt (standard input) or,
// with `as_batch`, from a .cmd file.
struct CmdVariables {
    std::string java_home;
    std::string path;
};

std::string variable_from(const std::string& output, const std::string& name) {
    std::string found;
    for (const std::string& line : lines_of(output)) {
        std::size_t at = line.find(name + "=");
        // `set NAME` prints every variable whose name starts with NAME; take the exact one.
        if (at != std::string::npos && (at == 0 || line[at - 1] == '>')) {
            found = line.substr(at + name.size() + 1);
        }
    }
    return found;
}

// A PATH entry that holds cmd operators: expanded outside quotes, it would end the SET command
// and run the rest.
const std::string k_inherited_path = "C:\\windows\\system32;C:\\Tools &echo INJECTED&;C:\\windows";

CmdVariables run_in_cmd(const std::string& lines, bool as_batch) {
    std::string script;
    for (const std::string& line : lines_of(lines)) {
        script += line + "\r\n";
    }
    script += "set JAVA_HOME\r\nset PATH\r\n";
    RunOptions options;
    options.set_env = {{"PATH", k_inherited_path}};
    RunResult r;
    if (as_batch) {
        std::string file = test_path("activate.cmd");
        write_file(file, "@echo off\r\n" + script);
        r = run_program("C:\\windows\\system32\\cmd.exe", {"/c", file}, options);
    } else {
        options.stdin_bytes = script + "exit\r\n";
        r = run_program("C:\\windows\\system32\\cmd.exe", {}, options);
    }
    EXPECT_EQ(r.status, 0) << r;
    for (const std::string& line : lines_of(r.out)) {
        EXPECT_FALSE(line.starts_with("INJECTED")) << r;
    }
    return CmdVariables{variable_from(r.out, "JAVA_HOME"), variable_from(r.out, "PATH")};
}

TEST_F(ExportShellE2e, CmdLinesSetExactlyTheRegisteredPath) {
    const std::vector<std::string> paths = {
        "C:\\Program Files\\Java\\jdk-21", "C:\\Program Files (x86)\\Java\\jdk1.8.0_381",
        "C:\\Tools & More\\jdk",           "C:\\a^b\\j(d)k",
        "C:\\x&echo INJECTED&\\jdk",       "C:\\Java\\jdk-21\\",
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        register_java21(path);
        RunResult r = run_corvel({"export-shell", "java21", "--shell", "cmd"});
        ASSERT_EQ(r.status, 0) << r;
        std::string bin = path;
        while (bin.ends_with('\\')) {
            bin.pop_back();
        }
        bin += "\\bin";
        for (bool as_batch : {false, true}) {
            SCOPED_TRACE(as_batch ? "batch file" : "prompt");
            CmdVariables variables = run_in_cmd(r.out, as_batch);
            EXPECT_EQ(variables.java_home, path);
            EXPECT_EQ(variables.path, bin + ";" + k_inherited_path);
        }
    }
}

}  // namespace
}  // namespace corvel::e2e
