// End-to-end tests of corvel-use.cmd, the batch file shipped beside corvel.exe, under Wine's cmd:
// it switches the registry with use and the cmd session it was run from with export-shell's
// lines, or changes nothing in that session when use fails.
#include <cstdlib>
#include <map>
#include <string>

#include "harness.h"

namespace corvel::e2e {
namespace {

class CmdScriptE2e : public E2eTest {
protected:
    // corvel.exe and corvel-use.cmd side by side in a folder whose name cmd must quote, as the
    // unpacked ZIP puts them.
    void SetUp() override {
        E2eTest::SetUp();
        const char* source = std::getenv("CORVEL_E2E_USE_SCRIPT");
        ASSERT_NE(source, nullptr) << "CORVEL_E2E_USE_SCRIPT must name corvel-use.cmd";
        std::string script_source = source;
        if (script_source.starts_with("/")) {
            script_source = "Z:" + script_source;
            for (char& c : script_source) {
                c = c == '/' ? '\\' : c;
            }
        }
        std::optional<std::string> script = read_file(script_source);
        std::optional<std::string> program = read_file(corvel_exe());
        ASSERT_TRUE(script && program);
        write_file(m_folder + "\\corvel-use.cmd", *script);
        write_file(m_folder + "\\corvel.exe", *program);
    }

    // Runs `corvel-use.cmd ARGS`, then `set`, at a cmd prompt started with `how` (/v:on, /v:off),
    // or in a batch file that turns delayed expansion on first when `how` is "script".
    RunResult run_in_session(const std::string& args, const std::string& temp = "",
                             const std::string& path = k_session_path, std::string how = "/v:off") {
        RunOptions options;
        options.set_env = {{"PATH", path}};
        if (!temp.empty()) {
            options.set_env["TEMP"] = temp;
        }
        options.stdin_bytes = "\"" + m_folder + "\\corvel-use.cmd\" " + args +
                              "\r\necho corvel-use status %ERRORLEVEL%\r\nset\r\nexit\r\n";
        if (how == "script") {
            write_file(test_path("de.cmd"),
                       "setlocal EnableDelayedExpansion\r\ncall " + options.stdin_bytes);
            options.stdin_bytes = test_path("de.cmd") + "\r\n";
            how = "/v:off";
        }
        return run_program("C:\\windows\\system32\\cmd.exe", {"/q", how}, options);
    }

    const std::string m_folder = test_path("Tools (x86) & more\\corvel");
    inline static const std::string k_session_path = "C:\\windows\\system32;C:\\windows";
};

// The variables of the `set` listing in cmd's output (the first one shares the prompt's line).
std::map<std::string, std::string> listed_variables(const std::string& output) {
    std::map<std::string, std::string> variables;
    for (std::string line : lines_of(output)) {
        std::size_t prompt = line.find(">");
        if (prompt != std::string::npos && line.starts_with("C:\\")) {
            line = line.substr(prompt + 1);
        }
        std::size_t equals = line.find('=', 1);
        if (equals != std::string::npos) {
            variables[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return variables;
}

TEST_F(CmdScriptE2e, SwitchesTheRegistryAndTheSessionItRunsIn) {
    std::string jdk17 = make_jdk("jdk-17");
    std::string jdk21 = make_jdk("jdk-21");
    ASSERT_EQ(run_corvel({"add", "java17", jdk17}).status, 0);
    ASSERT_EQ(run_corvel({"add", "java21", jdk21}).status, 0);

    RunResult r = run_in_session("java17");
    EXPECT_NE(r.out.find("Switching to 'java17'... Done"), std::string::npos) << r;
    EXPECT_NE(r.out.find("corvel-use status 0"), std::string::npos) << r;
    std::map<std::string, std::string> variables = listed_variables(r.out);
    EXPECT_EQ(variables["JAVA_HOME"], jdk17) << r;
    EXPECT_EQ(variables["PATH"], jdk17 + "\\bin;" + k_session_path) << r;
    for (const auto& [name, value] : variables) {
        EXPECT_FALSE(name.starts_with("corvel_use")) << name << " is left in the session";
    }
    EXPECT_EQ(read_reg_text(k_user_environment, "JAVA_HOME"), jdk17);
}

TEST_F(CmdScriptE2e, FailedUseChangesNothingInTheSessionAndPassesItsErrorOn) {
    std::string jdk17 = make_jdk("jdk-17");
    ASSERT_EQ(run_corvel({"add", "java17", jdk17}).status, 0);

    RunResult r = run_in_session("java8");
    EXPECT_NE(r.out.find("corvel-use status 1"), std::string::npos) << r;
    EXPECT_NE(r.err.find("Error: Alias 'java8' not found"), std::string::npos) << r;
    std::map<std::string, std::string> variables = listed_variables(r.out);
    EXPECT_EQ(variables.count("JAVA_HOME"), 0u) << r;
    EXPECT_EQ(variables["PATH"], k_session_path) << r;

    // A usage error keeps its own status.
    r = run_in_session("");
    EXPECT_NE(r.out.find("corvel-use status 2"), std::string::npos) << r;
    EXPECT_EQ(listed_variables(r.out)["PATH"], k_session_path) << r;
}

// The session lines are written before use switches the registry: when they cannot be, nothing
// is switched. An alias may begin with a dash.
TEST_F(CmdScriptE2e, SwitchesOnlyOnceTheSessionLinesAreWritten) {
    std::string jdk17 = make_jdk("jdk-17");
    ASSERT_EQ(run_corvel({"add", "--", "-dash", jdk17}).status, 0);

    RunResult r = run_in_session("-dash", test_path("no such folder"));
    EXPECT_NE(r.out.find("corvel-use status 1"), std::string::npos) << r;
    EXPECT_EQ(read_reg_text(k_user_environment, "JAVA_HOME"), std::nullopt);

    r = run_in_session("-dash");
    EXPECT_NE(r.out.find("corvel-use status 0"), std::string::npos) << r;
    EXPECT_EQ(listed_variables(r.out)["JAVA_HOME"], jdk17) << r;
    EXPECT_EQ(read_reg_text(k_user_environment, "JAVA_HOME"), jdk17);
}

// With delayed expansion on, cmd drops the '!'s of a line: the values arrive exactly, or nothing
// is switched and one line says why. A JDK path with a '!' is refused, and so is a PATH with '!'s
// here: Wine's cmd loses them in its copy of !PATH! (Windows' keeps them, and switches). Off, as
// before.
TEST_F(CmdScriptE2e, DelayedExpansionSwitchesToTheExactValuesOrNothing) {
    std::string bang = make_jdk("bang!x"), plain = make_jdk("jdk-21");
    std::string wow = "C:\\tools\\wow!;" + k_session_path + ";C:\\bang!dir";
    ASSERT_EQ(run_corvel({"add", "b", bang}).status + run_corvel({"add", "p", plain}).status, 0);
    for (std::string how : {"/v:on", "script", "/v:off"}) {
        for (auto [root, path] : {std::pair{bang, wow}, {plain, wow}, {plain, k_session_path}}) {
            std::optional<std::string> registry = read_reg_text(k_user_environment, "JAVA_HOME");
            RunResult r = run_in_session(root == bang ? "b" : "p", "", path, how);
            bool refused = how != "/v:off" && (root == bang || path == wow);
            EXPECT_NE(r.out.find(refused ? "status 1" : "status 0"), std::string::npos) << how << r;
            EXPECT_EQ(r.out.find("corvel_use_"), std::string::npos) << "left in the session" << r;
            std::map<std::string, std::string> set = listed_variables(r.out);
            EXPECT_EQ(set["JAVA_HOME"] + "|" + set["PATH"] + "|" + r.err,
                      !refused ? root + "|" + root + "\\bin;" + path + "|"
                               : "|" + path + "|Error: The " +
                                     (root == bang ? "JDK path" : "session PATH") +
                                     " holds '!', which cmd drops while delayed expansion is on; "
                                     "nothing was switched: open a new terminal after 'corvel use' "
                                     "instead\r\n")
                << how << r;
            EXPECT_EQ(read_reg_text(k_user_environment, "JAVA_HOME"), refused ? registry : root);
        }
    }
}

// The README's recipe for cmd, typed at the prompt as it stands there, with %TEMP% below a user
// name holding a space and a non-ASCII letter.
TEST_F(CmdScriptE2e, ReadmeRecipeSwitchesTheSessionWhateverTheTempFolder) {
    std::string jdk21 = make_jdk("jdk-21");
    ASSERT_EQ(run_corvel({"add", "java21", jdk21}).status, 0);
    std::string tools = test_path("tools");
    write_file(tools + "\\corvel.exe", *read_file(corvel_exe()));
    std::string temp = test_path("Users\\J\xC3\xBCrgen M\xC3\xBCller\\Temp");
    make_folder(temp);
    std::string session_path = tools + ";" + k_session_path;

    RunOptions options;
    options.set_env = {{"PATH", session_path}, {"TEMP", temp}};
    options.stdin_bytes =
        "corvel export-shell java21 --shell cmd > \"%TEMP%\\jdk.cmd\" && call "
        "\"%TEMP%\\jdk.cmd\"\r\n"
        "set\r\nexit\r\n";
    RunResult r = run_program("C:\\windows\\system32\\cmd.exe", {"/q"}, options);
    std::map<std::string, std::string> variables = listed_variables(r.out);
    EXPECT_EQ(variables["JAVA_HOME"], jdk21) << r;
    EXPECT_EQ(variables["PATH"], jdk21 + "\\bin;" + session_path) << r;
}

}  // namespace
}  // namespace corvel::e2e
