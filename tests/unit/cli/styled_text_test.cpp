#include "console/styled_text.h"

#include <gtest/gtest.h>

#include "console/terminal.h"
#include "fake_platform.h"

namespace corvel {
namespace {

TEST(Render, OrdersStyleCodesBeforeTheColour) {
    EXPECT_EQ(render(green("ok").bold(), true), "\x1b[1;32mok\x1b[0m");
    EXPECT_EQ(render(plain("Title").bold().underline(), true), "\x1b[1;4mTitle\x1b[0m");
    EXPECT_EQ(render(dimmed("x"), true), "\x1b[2mx\x1b[0m");
    EXPECT_EQ(render(cyan("x"), true), "\x1b[36mx\x1b[0m");
    EXPECT_EQ(render(plain("h").italic().underline().dimmed().bold(), true),
              "\x1b[1;2;4;3mh\x1b[0m");
    EXPECT_EQ(render(red("e").italic(), true), "\x1b[3;31me\x1b[0m");
}

TEST(Render, PlainOrColourlessGivesTheBareText) {
    EXPECT_EQ(render(plain(" "), true), " ");
    EXPECT_EQ(render(plain(""), true), "");
    EXPECT_EQ(render(green("ok").bold(), false), "ok");
    EXPECT_EQ(render(dimmed(""), false, 3), "   ");
}

TEST(Render, PadsCharactersInsideTheSequences) {
    EXPECT_EQ(render(green("java21").bold(), true, 10), "\x1b[1;32mjava21    \x1b[0m");
    EXPECT_EQ(render(plain("\u00e9t\u00e9"), false, 5), "\u00e9t\u00e9  ");
    EXPECT_EQ(render(plain("longer than"), false, 4), "longer than");
    EXPECT_EQ(render(dimmed(""), true, 2), "\x1b[2m  \x1b[0m");
}

// Only the program's own sequences reach the terminal; a path or banner cannot move the cursor,
// clear the screen or set the title. Padding counts each replaced character once.
TEST(Render, ControlCharactersShowAsReplacementCharacters) {
    EXPECT_EQ(render(cyan("C:\\a\x1b]0;T\x07\tb\x7f\u009b\r"), true, 16),
              "\x1b[36mC:\\a\uFFFD]0;T\uFFFD\tb\uFFFD\uFFFD\uFFFD \x1b[0m");
}

TEST(Render, CommandHintIsQuotedCyan) {
    EXPECT_EQ(render(command_hint("corvel scan --auto-add"), true),
              "\x1b[36m'corvel scan --auto-add'\x1b[0m");
}

struct ColourCase {
    std::map<std::string, std::string, std::less<>> variables;
    bool terminal;
    bool expected;
};

TEST(ColourDecision, FollowsForceThenNoColorThenCliColor) {
    const ColourCase cases[] = {
        {{}, true, true},
        {{}, false, false},
        {{{"CLICOLOR_FORCE", "1"}}, false, true},
        {{{"CLICOLOR_FORCE", "0"}}, true, true},
        {{{"CLICOLOR_FORCE", "0"}}, false, false},
        {{{"CLICOLOR_FORCE", "1"}, {"NO_COLOR", ""}}, false, true},
        {{{"NO_COLOR", ""}}, true, false},
        {{{"NO_COLOR", "1"}}, true, false},
        {{{"CLICOLOR", "0"}}, true, false},
        {{{"CLICOLOR", "1"}}, true, true},
        {{{"CLICOLOR", "1"}}, false, false},
        {{{"CLICOLOR_FORCE", ""}}, false, true},
    };
    for (const ColourCase& c : cases) {
        fakes::FakeProcessEnvironment environment;
        environment.variables = c.variables;
        EXPECT_EQ(decide_colour(environment, c.terminal), c.expected);
    }
}

TEST(TerminalOutput, FlushesTextWithoutLineEndAtOnce) {
    fakes::FakePlatform fake;
    Terminal terminal(fake.console, fake.environment);
    terminal.print_line({plain("first")});
    terminal.print({plain("Validating path... ")});
    EXPECT_EQ(fake.console.output_flushed, fake.console.output.size());
    EXPECT_EQ(fake.console.output, "first\nValidating path... ");
}

TEST(TerminalOutput, HeaderIsBoldUnderlineThenEmptyLine) {
    fakes::FakePlatform fake;
    fake.environment.variables["CLICOLOR_FORCE"] = "1";
    Terminal terminal(fake.console, fake.environment);
    terminal.print_header("Diagnostics Report");
    EXPECT_EQ(fake.console.output, "\x1b[1;4mDiagnostics Report\x1b[0m\n\n");
}

}  // namespace
}  // namespace corvel
