#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel {
namespace {

using Args = std::vector<std::string>;

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The argv that the Microsoft C runtime makes of `command_line`: the program name up to the
// first unquoted space or tab with quotes removed and backslashes literal, then the arguments
// under the backslash-and-quote rules. The oracle that build_command_line is checked against.
Args parse_command_line_msvc(std::string_view command_line) {
    Args argv;
    std::size_t i = 0;
    const std::size_t n = command_line.size();

    // The program name: quotes toggle, backslashes are ordinary characters.
    std::string program;
    bool in_quotes = false;
    while (i < n) {
        char c = command_line[i];
        if (c == '"') {
            in_quotes = !in_quotes;
            ++i;
            continue;
        }
        if (!in_quotes && is_blank(c)) {
            break;
        }
        program += c;
        ++i;
    }
    argv.push_back(std::move(program));

    while (true) {
        while (i < n && is_blank(command_line[i])) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        std::string argument;
        in_quotes = false;
        while (true) {
            std::size_t backslashes = 0;
            while (i < n && command_line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            bool copy = true;
            if (i < n && command_line[i] == '"') {
                if (backslashes % 2 == 0) {
                    if (in_quotes && i + 1 < n && command_line[i + 1] == '"') {
                        ++i;  // "" inside quotes is one literal quote
                    } else {
                        copy = false;
                        in_quotes = !in_quotes;
                    }
                }
                backslashes /= 2;
            }
            argument.append(backslashes, '\\');
            if (i >= n || (!in_quotes && is_blank(command_line[i]))) {
                break;
            }
            if (copy) {
                argument += command_line[i];
            }
            ++i;
        }
        argv.push_back(std::move(argument));
    }
    return argv;
}

TEST(BuildCommandLine, QuotesTheProgramAndLeavesPlainArgumentsBare) {
    EXPECT_EQ(build_command_line("C:\\jdk\\bin\\java.exe", Args{"-version"}),
              "\"C:\\jdk\\bin\\java.exe\" -version");
    EXPECT_EQ(build_command_line("where", Args{"java"}), "\"where\" java");
    EXPECT_EQ(build_command_line("C:\\Program Files\\x.exe", Args{}),
              "\"C:\\Program Files\\x.exe\"");
}

TEST(BuildCommandLine, EscapesQuotesAndTheBackslashesThatPrecedeThem) {
    EXPECT_EQ(build_command_line("p", Args{""}), "\"p\" \"\"");
    EXPECT_EQ(build_command_line("p", Args{"a b"}), "\"p\" \"a b\"");
    EXPECT_EQ(build_command_line("p", Args{"a\"b"}), "\"p\" \"a\\\"b\"");
    EXPECT_EQ(build_command_line("p", Args{"a\\\"b"}), "\"p\" \"a\\\\\\\"b\"");
    // Trailing backslashes are doubled only when a closing quote follows them.
    EXPECT_EQ(build_command_line("p", Args{"C:\\dir\\"}), "\"p\" C:\\dir\\");
    EXPECT_EQ(build_command_line("p", Args{"C:\\my dir\\"}), "\"p\" \"C:\\my dir\\\\\"");
    EXPECT_EQ(build_command_line("p", Args{"a\\\\b c"}), "\"p\" \"a\\\\b c\"");
}

TEST(ParseCommandLineMsvc, FollowsTheRuntimeRules) {
    // The documented examples of the Microsoft C runtime.
    EXPECT_EQ(parse_command_line_msvc("p \"a b c\" d e"), (Args{"p", "a b c", "d", "e"}));
    EXPECT_EQ(parse_command_line_msvc("p \"ab\\\"c\" \"\\\\\" d"), (Args{"p", "ab\"c", "\\", "d"}));
    EXPECT_EQ(parse_command_line_msvc("p a\\\\\\b d\"e f\"g h"),
              (Args{"p", "a\\\\\\b", "de fg", "h"}));
    EXPECT_EQ(parse_command_line_msvc("p a\\\\\\\"b c d"), (Args{"p", "a\\\"b", "c", "d"}));
    EXPECT_EQ(parse_command_line_msvc("p a\\\\\\\\\"b c\" d e"), (Args{"p", "a\\\\b c", "d", "e"}));
    EXPECT_EQ(parse_command_line_msvc("p a\"b\"\" c d"), (Args{"p", "ab\" c d"}));
    // Runs of blanks separate; trailing blanks add nothing.
    EXPECT_EQ(parse_command_line_msvc("p \t a \t"), (Args{"p", "a"}));
    EXPECT_EQ(parse_command_line_msvc("p"), (Args{"p"}));
}

TEST(ParseCommandLineMsvc, TakesBackslashesInTheProgramNameLiterally) {
    EXPECT_EQ(parse_command_line_msvc("\"C:\\dir\\\" x"), (Args{"C:\\dir\\", "x"}));
    EXPECT_EQ(parse_command_line_msvc("C:\\a\"b c\"\\d e"), (Args{"C:\\ab c\\d", "e"}));
    EXPECT_EQ(parse_command_line_msvc("C:\\x\\java.exe\t-version"),
              (Args{"C:\\x\\java.exe", "-version"}));
}

TEST(BuildCommandLine, RoundTripsTrickyArguments) {
    const Args arguments = {
        "",
        " ",
        "\t",
        "plain",
        "two words",
        "tab\there",
        "line\nfeed",
        "vertical\vtab",
        "\"",
        "\"\"",
        "\"quoted\"",
        "a\"\"b",
        "\\",
        "\\\\",
        "trailing\\",
        "trailing\\\\",
        "space and trailing\\",
        "space and two trailing\\\\",
        "\\\"",
        "\\\\\"",
        "a\\\"b",
        "C:\\Program Files\\Java\\jdk-21\\",
        "\\\\server\\share\\",
        "%PATH%",
        "^&|<>()",
        "*?",
        "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC",
        "\xF0\x9F\x98\x80",
        "-Dkey=\"va lue\"\\",
    };
    const std::string program = "C:\\Program Files\\My App\\tool.exe";
    Args expected = {program};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(parse_command_line_msvc(build_command_line(program, arguments)), expected);

    // Each case alone as well, so that a failure names it.
    for (const std::string& argument : arguments) {
        Args one = {argument};
        EXPECT_EQ(parse_command_line_msvc(build_command_line("p", one)), (Args{"p", argument}))
            << "argument: " << argument;
    }
}

TEST(BuildCommandLine, ProgramEndingInBackslashOrHoldingSpacesRoundTrips) {
    for (std::string program : {"C:\\dir\\", "C:\\a b\\c d.exe", "java", "C:\\x\\\\"}) {
        EXPECT_EQ(parse_command_line_msvc(build_command_line(program, Args{"x y"})),
                  (Args{program, "x y"}));
    }
}

}  // namespace
}  // namespace corvel
