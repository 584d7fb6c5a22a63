// End-to-end tests of the program entry: grammar, help, version, exit statuses, the "Error:"
// line and its colour, and arguments that are not valid UTF-16.
#include <algorithm>

#include "harness.h"

namespace corvel::e2e {
namespace {

class EntryE2e : public E2eTest {};

constexpr std::string_view k_esc = "\x1b";
// The U+FFFD replacement character, and the bytes a lone high surrogate D800 would have if it
// were encoded without being replaced.
constexpr std::string_view k_replacement = "\xef\xbf\xbd";
constexpr std::string_view k_encoded_surrogate = "\xed\xa0\x80";

// The about text of every subcommand, in help order.
const std::vector<std::string> k_about_texts{
    "List all configured Java versions",
    "Add a JDK with a given alias and path",
    "Remove a configured Java version by alias",
    "Switch to a configured Java version (updates JAVA_HOME and PATH)",
    "Show the currently active Java version",
    "Scan common Windows locations for installed JDKs",
    "Run diagnostics and show environment health",
    "Print shell commands to activate a version in the current terminal session",
};

size_t count_lines(std::string_view text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Expects every about text in `text`, in the order of the grammar.
void expect_listing(const std::string& text) {
    size_t previous = 0;
    for (const std::string& about : k_about_texts) {
        size_t at = text.find(about);
        ASSERT_NE(at, std::string::npos) << "missing \"" << about << "\" in\n" << escaped(text);
        EXPECT_GE(at, previous) << "\"" << about << "\" out of order in\n" << escaped(text);
        previous = at;
    }
}

TEST_F(EntryE2e, VersionPrintsNameAndVersionOnlyOnStandardOutput) {
    for (const char* flag : {"--version", "-V"}) {
        RunResult r = run_corvel({flag});
        EXPECT_EQ(r.status, 0) << flag << r;
        // Under Wine the process is elevated, so no warning precedes the version.
        EXPECT_EQ(r.out, "corvel 0.1.0\n") << flag << r;
        EXPECT_EQ(r.err, "") << flag << r;
    }
}

TEST_F(EntryE2e, NoArgumentsPrintsHelpOnStandardErrorWithStatusTwo) {
    RunResult r = run_corvel({});
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_EQ(r.out, "") << r;
    EXPECT_NE(r.err.find("Java JDK version manager for Windows"), std::string::npos) << r;
    expect_listing(r.err);
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "lines end in LF alone" << r;
}

TEST_F(EntryE2e, HelpInEveryFormListsEverySubcommandOnStandardOutput) {
    for (const std::vector<Arg>& args :
         std::vector<std::vector<Arg>>{{"help"}, {"--help"}, {"-h"}}) {
        RunResult r = run_corvel(args);
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.err, "") << r;
        EXPECT_NE(r.out.find("Java JDK version manager for Windows"), std::string::npos) << r;
        EXPECT_NE(r.out.find("Manage multiple JDK installations, switch JAVA_HOME, and keep your "
                             "PATH clean."),
                  std::string::npos)
            << r;
        expect_listing(r.out);
        EXPECT_EQ(r.out.find('\r'), std::string::npos) << r;
    }
}

TEST_F(EntryE2e, SubcommandHelpShowsArgumentAndOptionTexts) {
    struct Case {
        std::vector<Arg> args;
        std::vector<std::string> texts;
    };
    const std::vector<Case> cases{
        {{"add", "--help"},
         {"Add a JDK with a given alias and path", "ALIAS", "PATH",
          "Short name for this JDK (e.g. java21)", "Absolute path to the JDK root folder"}},
        {{"help", "add"}, {"Short name for this JDK (e.g. java21)"}},
        {{"remove", "-h"}, {"ALIAS", "-f", "--force", "Skip confirmation prompt"}},
        {{"use", "--help"}, {"Switch to a configured Java version (updates JAVA_HOME and PATH)"}},
        {{"scan", "--help"},
         {"-a", "--auto-add", "Automatically add all discovered JDKs that are not yet configured"}},
        {{"export-shell", "--help"},
         {"ALIAS", "--shell", "SHELL", "Target shell: powershell (default) or cmd", "powershell"}},
    };
    for (const Case& c : cases) {
        RunResult r = run_corvel(c.args);
        EXPECT_EQ(r.status, 0) << r;
        EXPECT_EQ(r.err, "") << r;
        for (const std::string& text : c.texts) {
            EXPECT_NE(r.out.find(text), std::string::npos) << "missing \"" << text << "\"" << r;
        }
    }
}

TEST_F(EntryE2e, MissingPathIsAUsageErrorThatLeavesNoConfiguration) {
    RunResult r = run_corvel({"add", "java21"});
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_EQ(r.out, "") << r;
    EXPECT_NE(r.err.find("PATH"), std::string::npos) << r;
    EXPECT_EQ(r.err.find("Error:"), std::string::npos) << "a usage error is not a failure" << r;
    EXPECT_FALSE(path_exists(config_path()));
}

TEST_F(EntryE2e, UsageErrorNamesTheProblemAndTheSubcommandsUsage) {
    RunResult r = run_corvel({"remove", "java21", "--force=no"});
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_EQ(r.out, "") << r;
    EXPECT_EQ(r.err,
              "error: the flag '--force' takes no value, but was given '--force=no'\n"
              "\n"
              "Usage: corvel remove <ALIAS> [-f|--force]\n"
              "\n"
              "For more information, try '--help'.\n")
        << r;
}

TEST_F(EntryE2e, UsageErrorsEndWithStatusTwo) {
    const std::vector<std::vector<Arg>> cases{
        {"frobnicate"},                         // unknown subcommand
        {"LIST"},                               // subcommands are not case-folded
        {"list", "extra"},                      // surplus argument
        {"use"},                                // missing alias
        {"scan", "--everything"},               // unknown option
        {"export-shell", "java21", "--shell"},  // option without its value
        {"--verbose"},                          // unknown top-level option
        {"remove", "java21", "--force=false"},  // flags take no value
        {"scan", "--auto-add=0"},
        {"export-shell", "java21", "--shell", "cmd", "--shell", "cmd"},  // repeated option
    };
    for (const std::vector<Arg>& args : cases) {
        RunResult r = run_corvel(args);
        EXPECT_EQ(r.status, 2) << r;
        EXPECT_EQ(r.out, "") << r;
        EXPECT_FALSE(r.err.empty()) << r;
    }
    EXPECT_FALSE(path_exists(config_folder()));
}

TEST_F(EntryE2e, FailedCommandWritesOneErrorLineAndStatusOne) {
    RunResult r = run_corvel({"use", "no-such-alias"});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_TRUE(r.err.starts_with("Error: ")) << r;
    EXPECT_EQ(count_lines(r.err), 1u) << r;
    EXPECT_TRUE(r.err.ends_with("\n")) << r;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << r;
    EXPECT_EQ((r.out + r.err).find(k_esc), std::string::npos) << "no terminal, no colour" << r;
}

TEST_F(EntryE2e, ForcedColourPutsExactEscapesAroundTheErrorLabel) {
    for (const char* force : {"1", "yes"}) {
        RunResult r =
            run_corvel({"use", "no-such-alias"}, {.set_env = {{"CLICOLOR_FORCE", force}}});
        EXPECT_EQ(r.status, 1) << r;
        EXPECT_TRUE(r.err.starts_with("\x1b[1;31mError:\x1b[0m ")) << r;
        EXPECT_EQ(count_lines(r.err), 1u) << r;
    }
}

TEST_F(EntryE2e, ForcedColourWinsOverNoColour) {
    RunResult r = run_corvel({"use", "no-such-alias"},
                             {.set_env = {{"CLICOLOR_FORCE", "1"}, {"NO_COLOR", ""}}});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_TRUE(r.err.starts_with("\x1b[1;31mError:\x1b[0m ")) << r;
}

TEST_F(EntryE2e, NoColourOrZeroForceGivesNoEscapeByteAnywhere) {
    const std::vector<RunOptions> cases{
        {.set_env = {{"NO_COLOR", ""}}},
        {.set_env = {{"NO_COLOR", "1"}, {"CLICOLOR", "1"}}},
        {.set_env = {{"CLICOLOR_FORCE", "0"}}},
        {.set_env = {{"CLICOLOR_FORCE", "0"}, {"CLICOLOR", "1"}}},
    };
    for (const RunOptions& options : cases) {
        for (const std::vector<Arg>& args :
             std::vector<std::vector<Arg>>{{"use", "no-such-alias"}, {"--help"}, {}}) {
            RunResult r = run_corvel(args, options);
            EXPECT_EQ((r.out + r.err).find(k_esc), std::string::npos) << r;
        }
        RunResult failed = run_corvel({"use", "no-such-alias"}, options);
        EXPECT_TRUE(failed.err.starts_with("Error: ")) << failed;
    }
}

TEST_F(EntryE2e, UnpairedSurrogateInAnAliasFailsCleanly) {
    RunResult r = run_corvel({"use", Arg::utf16(L"java\xD800"
                                                L"21")});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_TRUE(r.err.starts_with("Error: ")) << r;
    EXPECT_EQ(count_lines(r.err), 1u) << r;
    EXPECT_EQ((r.out + r.err).find(k_encoded_surrogate), std::string::npos) << r;
}

TEST_F(EntryE2e, UnpairedSurrogateInASurplusArgumentIsNamedReplaced) {
    for (const wchar_t* units : {L"\xD800", L"x\xDC00y", L"\xDBFF"}) {
        RunResult r = run_corvel({"list", Arg::utf16(units)});
        EXPECT_EQ(r.status, 2) << r;
        EXPECT_EQ(r.out, "") << r;
        EXPECT_NE(r.err.find(k_replacement), std::string::npos) << r;
        EXPECT_EQ(r.err.find(k_encoded_surrogate), std::string::npos) << r;
    }
}

TEST_F(EntryE2e, ArgumentsArriveExactlyAsTyped) {
    // Spaces, quotes and trailing backslashes survive the command line; the usage error for a
    // surplus argument names it unchanged.
    for (const char* odd : {"two words", "quote\"inside", "trailing\\", "C:\\Program Files\\"}) {
        RunResult r = run_corvel({"list", odd});
        EXPECT_EQ(r.status, 2) << r;
        EXPECT_NE(r.err.find(odd), std::string::npos) << odd << r;
    }
}

}  // namespace
}  // namespace corvel::e2e
