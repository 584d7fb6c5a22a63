// Tests of the road itself: the stand-in launcher, the where.exe of the test prefix, argument
// quoting, environments, standard input, hang guards and the per-test reset. A fault here would
// make every other end-to-end test lie.

#include "win32_support.h"  // <windows.h> before the other Windows headers

#include <shellapi.h>
#include <tlhelp32.h>

#include "harness.h"
#include "harness_internal.h"

namespace corvel::e2e {
namespace {

using detail::narrow;
using detail::widen;

class HarnessE2e : public E2eTest {};

std::string launcher_of(const std::string& jdk) {
    return jdk + "\\bin\\java.exe";
}

const std::string k_where = "C:\\windows\\system32\\where.exe";

// Whether a process runs whose image is `path` (compared without regard to letter case).
bool program_running(const std::string& path) {
    detail::Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        detail::Handle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        wchar_t image[MAX_PATH * 4];
        DWORD size = MAX_PATH * 4;
        if (process.valid() && QueryFullProcessImageNameW(process.get(), 0, image, &size) &&
            _wcsicmp(image, widen(path).c_str()) == 0) {
            return true;
        }
    }
    return false;
}

TEST_F(HarnessE2e, LauncherWritesItsConfiguredBytesAndExitCode) {
    const std::string out = "line one\r\nbad \xff\xfe bytes\n";
    const std::string err = std::string("nul \0 inside", 12) + "\xc3\x28\r\n";
    std::string jdk = make_jdk(
        "jdk", {.java = JavaAnswer{.stderr_bytes = err, .stdout_bytes = out, .exit_code = 3}});
    RunResult r = run_program(launcher_of(jdk), {"-version"});
    EXPECT_EQ(r.status, 3) << r;
    EXPECT_EQ(r.out, out) << r;
    EXPECT_EQ(r.err, err) << r;
    ASSERT_EQ(java_calls(jdk).size(), 1u);
    EXPECT_TRUE(java_calls(jdk)[0].ends_with(" -version")) << java_calls(jdk)[0];
}

TEST_F(HarnessE2e, LauncherRepeatsItsBlocksIntoMegabytes) {
    const std::string block(1024, 'x');
    std::string jdk = make_jdk(
        "big",
        {.java = JavaAnswer{.stderr_bytes = block, .stdout_bytes = block + "y", .repeat = 3000}});
    RunResult r = run_program(launcher_of(jdk), {"-version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.size(), 3000u * 1024u);
    EXPECT_EQ(r.out.size(), 3000u * 1025u);
}

TEST_F(HarnessE2e, DefaultJdkHasLauncherCompilerAndOpenJdkBanner) {
    std::string jdk = make_jdk("plain");
    EXPECT_EQ(jdk, "C:\\corvel-e2e\\plain");
    EXPECT_TRUE(path_exists(jdk + "\\bin\\javac.exe"));
    EXPECT_FALSE(path_exists(jdk + "\\release"));
    RunResult r = run_program(launcher_of(jdk), {"-version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("openjdk version \"21.0.2\" 2024-01-16\r\n")) << r;

    std::string jre = make_jdk("jre", {.javac = false, .release = release_file("17.0.9", "Azul")});
    EXPECT_FALSE(path_exists(jre + "\\bin\\javac.exe"));
    EXPECT_NE(read_file(jre + "\\release")->find("\nJAVA_VERSION=\"17.0.9\"\n"), std::string::npos);
}

TEST_F(HarnessE2e, ArgumentsSurviveQuotingAsTheWindowsParserSeesThem) {
    std::string jdk = make_jdk("args");
    const std::vector<std::wstring> tricky{L"",
                                           L"two words",
                                           L"quote\"inside",
                                           L"trailing\\",
                                           L"both \\\"x\\\" and \\\\",
                                           L"C:\\Program Files\\Java\\",
                                           L"tab\there",
                                           L"\x00e9t\x00e9 \x2714",
                                           L"lone\xD800"};
    std::vector<Arg> args;
    for (const std::wstring& units : tricky) {
        args.push_back(Arg::utf16(units));
    }
    RunResult r = run_program(launcher_of(jdk), args);
    ASSERT_EQ(r.status, 0) << r;
    ASSERT_EQ(java_calls(jdk).size(), 1u);

    // The log holds UTF-8, so the lone surrogate comes back as U+FFFD.
    int count = 0;
    LPWSTR* parsed = CommandLineToArgvW(widen(java_calls(jdk)[0]).c_str(), &count);
    ASSERT_NE(parsed, nullptr);
    ASSERT_EQ(count, static_cast<int>(tricky.size()) + 1);
    EXPECT_EQ(narrow(parsed[0]), launcher_of(jdk));
    for (size_t i = 0; i + 1 < tricky.size(); ++i) {
        EXPECT_EQ(parsed[i + 1], tricky[i]) << "argument " << i;
    }
    EXPECT_EQ(std::wstring(parsed[tricky.size()]), L"lone\xFFFD");
    LocalFree(parsed);
}

TEST_F(HarnessE2e, EnvironmentDropsJavaHomeAndColourUnlessSet) {
    const std::string cmd = "C:\\windows\\system32\\cmd.exe";
    RunResult plain = run_program(cmd, {"/c", "set"}, {.set_env = {{"CORVEL_PROBE", "a b"}}});
    ASSERT_EQ(plain.status, 0) << plain;
    EXPECT_NE(plain.out.find("CORVEL_PROBE=a b\r\n"), std::string::npos) << plain;
    for (const char* gone : {"\nJAVA_HOME=", "\nCLICOLOR_FORCE=", "\nNO_COLOR=", "\nCLICOLOR="}) {
        EXPECT_EQ(plain.out.find(gone), std::string::npos) << gone << plain;
    }

    RunResult set = run_program(cmd, {"/c", "set"},
                                {.set_env = {{"java_home", "C:\\jdk"}, {"NO_COLOR", ""}},
                                 .unset_env = {"JAVA_HOME", "PATH"}});
    ASSERT_EQ(set.status, 0) << set;
    EXPECT_NE(set.out.find("java_home=C:\\jdk\r\n"), std::string::npos) << set;
    EXPECT_EQ(set.out.find("\nPATH="), std::string::npos) << set;
    EXPECT_EQ(set.out.find("\nPath="), std::string::npos) << set;

    // An empty value is still a set variable for the program.
    RunResult empty = run_program(cmd, {"/c", "if", "defined", "NO_COLOR", "echo", "defined"},
                                  {.set_env = {{"NO_COLOR", ""}}});
    EXPECT_EQ(empty.out, "defined\r\n") << empty;
}

TEST_F(HarnessE2e, StandardInputAndWorkingFolderReachTheProgram) {
    std::string jdk = make_jdk("stdin", {.java = JavaAnswer{.echo_stdin = true}});
    RunResult r = run_program(launcher_of(jdk), {}, {.stdin_bytes = "y\r\nmore\xff"});
    EXPECT_EQ(r.out, "y\r\nmore\xff") << r;
    RunResult none = run_program(launcher_of(jdk), {});
    EXPECT_EQ(none.out, "") << none;

    make_folder(test_path("some folder"));
    RunResult cd = run_program("C:\\windows\\system32\\cmd.exe", {"/c", "cd"},
                               {.working_folder = test_path("some folder")});
    EXPECT_EQ(cd.out, "C:\\corvel-e2e\\some folder\r\n") << cd;
}

TEST_F(HarnessE2e, HangingProgramIsEndedAtTheGuard) {
    std::string jdk =
        make_jdk("hang", {.java = JavaAnswer{.stderr_bytes = "before\n", .hang = true}});
    RunResult r = run_program(launcher_of(jdk), {}, {.timeout = std::chrono::seconds(2)});
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.err, "before\n");
    EXPECT_FALSE(program_running(launcher_of(jdk)));
}

TEST_F(HarnessE2e, ChildLeftRunningIsEndedWhenTheProgramEndsOrAtTheNextReset) {
    std::string jdk = make_jdk("child", {.java = JavaAnswer{.hang = true}});
    // cmd waits for neither its child nor (through start.exe) its grandchild.
    RunResult r =
        run_program("C:\\windows\\system32\\cmd.exe", {"/c", "start", "/b", launcher_of(jdk)});
    EXPECT_FALSE(r.timed_out) << r;
    reset_state();
    EXPECT_FALSE(program_running(launcher_of(jdk)));
}

TEST_F(HarnessE2e, OverlappingRunsEachGetTheirOwnStreams) {
    std::string slow =
        make_jdk("slow", {.java = JavaAnswer{.stderr_bytes = "slow\n", .repeat = 20000}});
    std::string fast = make_jdk("fast", {.java = JavaAnswer{.stdout_bytes = "fast"}});
    StartedProgram first = start_program(launcher_of(slow), {});
    StartedProgram second = start_program(launcher_of(fast), {});
    RunResult b = second.wait();
    RunResult a = first.wait();
    EXPECT_EQ(a.err.size(), 5u * 20000u);
    EXPECT_EQ(b.out, "fast");
    EXPECT_EQ(b.err, "");
}

TEST_F(HarnessE2e, WhereListsEveryMatchOfThePathInOrderWithCrLf) {
    std::string first = make_jdk("first");
    std::string second = make_jdk("second");
    make_folder(test_path("decoy\\java.exe"));  // a folder of that name is not a match
    write_file(test_path("batch\\java.bat"), "@echo off\r\n");
    const std::string path = test_path("decoy") + ";" + first + "\\bin;;\"" + test_path("batch") +
                             "\";" + second + "\\bin\\";
    RunResult r = run_program(k_where, {"java"},
                              {.set_env = {{"PATH", path}, {"PATHEXT", ".COM;.EXE;.BAT"}},
                               .working_folder = test_path("decoy")});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, first + "\\bin\\java.exe\r\n" + test_path("batch") + "\\java.bat\r\n" +
                         second + "\\bin\\java.exe\r\n")
        << r;
    EXPECT_EQ(r.err, "") << r;

    RunResult exact = run_program(k_where, {"javac.exe"}, {.set_env = {{"PATH", path}}});
    EXPECT_EQ(exact.out, first + "\\bin\\javac.exe\r\n" + second + "\\bin\\javac.exe\r\n") << exact;
}

TEST_F(HarnessE2e, WhereLooksInTheWorkingFolderFirst) {
    std::string jdk = make_jdk("cwd");
    std::string other = make_jdk("other");
    RunResult r =
        run_program(k_where, {"java"},
                    {.set_env = {{"PATH", other + "\\bin"}}, .working_folder = jdk + "\\bin"});
    EXPECT_EQ(r.out, jdk + "\\bin\\java.exe\r\n" + other + "\\bin\\java.exe\r\n") << r;
}

TEST_F(HarnessE2e, WhereFindingNothingSaysSoOnStandardErrorWithStatusOne) {
    RunResult r = run_program(k_where, {"java"}, {.set_env = {{"PATH", test_root()}}});
    EXPECT_EQ(r.status, 1) << r;
    EXPECT_EQ(r.out, "") << r;
    EXPECT_FALSE(r.err.empty()) << r;
    RunResult usage = run_program(k_where, {});
    EXPECT_EQ(usage.status, 2) << usage;
}

TEST_F(HarnessE2e, CorvelFindsTheTestWhereByName) {
    // corvel starts "where" by name; the prefix must run the real one, not Wine's silent stub.
    RunResult r = run_program("C:\\windows\\system32\\cmd.exe", {"/c", "where", "cmd"},
                              {.set_env = {{"PATH", "C:\\windows\\system32"}}});
    EXPECT_EQ(r.status, 0) << r;
    EXPECT_EQ(r.out, "C:\\windows\\system32\\cmd.exe\r\n") << r;
}

TEST_F(HarnessE2e, RegistryValuesRoundTripWithTheirExactBytes) {
    const RegKey key = k_javasoft_jdk / "21";
    const std::vector<RegValue> values{
        RegValue::sz("C:\\jdk \xe2\x9c\x94"),
        RegValue::expand_sz("%SystemRoot%\\x"),
        RegValue::sz_utf16(L"a\xD800z"),
        RegValue::raw(k_reg_sz, std::string("n\0o", 3)),  // no terminating NUL, odd length
        RegValue::multi_sz({"one", "two"}),
        RegValue::dword(0x12345678),
        RegValue::raw(k_reg_binary, std::string("\x00\x01\x02", 3)),
    };
    for (const RegValue& value : values) {
        write_reg(key, "JavaHome", value);
        EXPECT_EQ(read_reg(key, "JavaHome"), value);
    }
    EXPECT_EQ(RegValue::sz("x").bytes, std::string("x\0\0\0", 4));
    EXPECT_EQ(RegValue::sz_utf16(L"a\xD800z").text(), "a\xef\xbf\xbdz");
    EXPECT_EQ(RegValue::dword(1).text(), std::nullopt);
    EXPECT_EQ(reg_subkeys(k_javasoft_jdk), std::vector<std::string>{"21"});

    delete_reg(key, "JavaHome");
    EXPECT_EQ(read_reg(key, "JavaHome"), std::nullopt);
    delete_reg(key, "JavaHome");  // already gone: fine
    delete_reg_key(k_javasoft_jdk);
    EXPECT_TRUE(reg_subkeys(k_javasoft_jdk).empty());
    EXPECT_EQ(read_reg(RegKey{Hive::CurrentUser, "No\\Such\\Key"}, "x"), std::nullopt);
}

TEST_F(HarnessE2e, ResetRestoresTheEnvironmentKeysAndRemovesWhatTestsMade) {
    const std::optional<RegValue> system_path = read_reg(k_system_environment, "Path");
    ASSERT_TRUE(system_path.has_value());
    write_reg(k_user_environment, "JAVA_HOME", RegValue::sz("C:\\x"));
    write_reg(k_user_environment, "Path", RegValue::expand_sz("C:\\x\\bin"));
    write_reg(k_system_environment, "Path", RegValue::sz("C:\\changed"));
    write_reg(k_wow_javasoft_development_kit / "1.8", "JavaHome", RegValue::sz("C:\\x"));
    std::string outside = make_jdk("C:\\Program Files\\Zulu\\zulu-17");
    write_file(config_path(), "{}");

    reset_state();

    EXPECT_EQ(read_reg(k_user_environment, "JAVA_HOME"), std::nullopt);
    EXPECT_EQ(read_reg(k_user_environment, "Path"), std::nullopt);
    EXPECT_EQ(read_reg(k_system_environment, "Path"), system_path);
    EXPECT_TRUE(reg_subkeys(RegKey{Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\JavaSoft"}).empty());
    EXPECT_FALSE(path_exists("C:\\Program Files\\Zulu"));
    EXPECT_TRUE(path_exists("C:\\Program Files"));
    EXPECT_FALSE(path_exists(config_folder()));
    EXPECT_TRUE(path_exists(test_root()));
}

TEST_F(HarnessE2e, ConfigLivesInTheRoamingFolder) {
    EXPECT_TRUE(config_path().ends_with("\\AppData\\Roaming\\corvel\\config.json"))
        << config_path();
    EXPECT_TRUE(config_path().starts_with("C:\\users\\")) << config_path();
}

TEST_F(HarnessE2e, FolderLinkLeadsToItsTargetAndDeletingItKeepsTheTarget) {
    std::string jdk = make_jdk("real");
    make_folder_link(test_path("link"), jdk);
    EXPECT_TRUE(path_exists(test_path("link\\bin\\java.exe")));
    delete_path(test_path("link"));
    EXPECT_FALSE(path_exists(test_path("link")));
    EXPECT_TRUE(path_exists(jdk + "\\bin\\java.exe"));

    // Emptying the test folder removes a link in it without emptying a target outside it.
    std::string outside = make_jdk("C:\\Program Files\\Java\\jdk-linked");
    make_folder_link(test_path("inner\\link"), outside);
    delete_path(test_root());
    EXPECT_TRUE(path_exists(outside + "\\bin\\java.exe"));
}

TEST(HarnessText, QuotingFollowsTheCRuntimeRules) {
    EXPECT_EQ(detail::quote_argument(L"plain"), L"plain");
    EXPECT_EQ(detail::quote_argument(L""), L"\"\"");
    EXPECT_EQ(detail::quote_argument(L"a b"), L"\"a b\"");
    EXPECT_EQ(detail::quote_argument(L"a\\b"), L"a\\b");
    EXPECT_EQ(detail::quote_argument(L"a b\\"), L"\"a b\\\\\"");
    EXPECT_EQ(detail::quote_argument(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
    EXPECT_EQ(detail::quote_argument(L"x\\\"y"), L"\"x\\\\\\\"y\"");
}

TEST(HarnessText, EscapedShowsControlsAndStrayBytesButKeepsUtf8) {
    EXPECT_EQ(escaped("a\x1b[1m\r\n\xe2\x9c\x94\xff"), "a\\x1b[1m\\r\\n\n\xe2\x9c\x94\\xff");
    EXPECT_EQ(lines_of("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_EQ(lines_of("a\n"), std::vector<std::string>{"a"});
    EXPECT_TRUE(lines_of("").empty());
}

}  // namespace
}  // namespace corvel::e2e
