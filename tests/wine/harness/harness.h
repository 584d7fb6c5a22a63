#pragma once

// The end-to-end harness: runs the real corvel.exe inside the test Wine prefix and sets up the
// world it sees (registry values, JDK-like folders, files). Every helper takes and returns UTF-8;
// conversion to UTF-16 happens inside. A helper that cannot do its job throws HarnessError,
// which GoogleTest reports as a failure of the running test.
//
// Writing a test:
//
//   #include "harness.h"
//   using namespace corvel::e2e;
//
//   class UseE2e : public E2eTest {};     // fresh state before every test
//
//   TEST_F(UseE2e, SwitchesTheUserPath) {
//       std::string jdk = make_jdk("jdk-21");                 // C:\corvel-e2e\jdk-21
//       ASSERT_EQ(run_corvel({"add", "java21", jdk}).status, 0);
//       RunResult r = run_corvel({"use", "java21"});
//       EXPECT_EQ(r.status, 0) << r;                          // prints both streams on failure
//       EXPECT_EQ(read_reg_text(k_user_environment, "JAVA_HOME"), jdk);
//   }
//
// Name a test file's suites after its subject (UseE2e in use_e2e_test.cpp, AddE2e and RemoveE2e
// in add_remove_e2e_test.cpp): CTest runs the program once per subject with a GoogleTest filter
// (see tests/wine/CMakeLists.txt), and suites no filter names run in e2e_other.
//
// The program runs with its standard streams redirected to files (never a console), so the
// colour decision sees no terminal; the harness removes JAVA_HOME and the colour variables from
// its environment unless a test sets them. Under Wine the process is an administrator, so the
// system environment key is writable and the not-elevated warning never shows.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace corvel::e2e {

// A helper failed (a Windows call refused, a file could not be written...).
class HarnessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------------------------
// Running programs

// One command-line argument. Built from UTF-8 text, or with utf16() from any UTF-16 units
// (unpaired surrogates included). It is quoted by the Windows rules, so it arrives unchanged.
struct Arg {
    std::wstring units;

    Arg(const char* utf8);
    Arg(const std::string& utf8);
    Arg(std::string_view utf8);
    static Arg utf16(std::wstring units);
};

// How a program is started. Removals apply first, then additions; names compare without regard
// to letter case, as Windows does.
struct RunOptions {
    // The bytes of standard input (a file); empty: input at its end at once.
    std::string stdin_bytes{};
    // Variables to add or replace (for example {"PATH", jdk + "\\bin;" + inherited_path()}).
    std::map<std::string, std::string> set_env{};
    // Variables to remove from the inherited environment.
    std::vector<std::string> unset_env{"JAVA_HOME", "CLICOLOR_FORCE", "NO_COLOR", "CLICOLOR"};
    // The program's current folder; empty: test_root().
    std::string working_folder{};
    // A guard against hangs, not a speed check: past it the program and everything it started
    // are ended and `timed_out` is set.
    std::chrono::milliseconds timeout{std::chrono::minutes(2)};
    // Standard error goes into the same file as standard output (`out`), as both streams share
    // one console: the file shows the order in which the program wrote to them.
    bool merge_streams = false;
    // Samples the program's memory while it runs, for `peak_memory`.
    bool measure_memory = false;
    // Standard output goes to this existing file instead of `out` (Z:\\dev\\full: every write
    // fails as on a full disk).
    std::string stdout_file{};
};

// What a finished run produced. The harness waits for the process to end (not for its streams
// to close), then ends whatever the process started and left running.
struct RunResult {
    int status = -1;    // the exit code
    std::string out{};  // standard output, raw bytes
    std::string err{};  // standard error, raw bytes
    bool timed_out = false;
    // With RunOptions::measure_memory: the largest working set seen while it ran, in bytes.
    std::size_t peak_memory = 0;
};

// Prints status and both streams with control bytes escaped: `EXPECT_EQ(r.status, 0) << r;`.
std::ostream& operator<<(std::ostream& stream, const RunResult& result);
void PrintTo(const RunResult& result, std::ostream* stream);

// Runs corvel.exe with `args` (after the program name) and waits for it.
RunResult run_corvel(const std::vector<Arg>& args, const RunOptions& options = {});

// Runs any program (a full Windows path) the same way.
RunResult run_program(const std::string& program, const std::vector<Arg>& args,
                      const RunOptions& options = {});

// A program started without waiting, for runs that overlap:
//   StartedProgram a = start_corvel({"add", "a", jdk_a});
//   StartedProgram b = start_corvel({"add", "b", jdk_b});
//   RunResult ra = a.wait(), rb = b.wait();
class StartedProgram {
public:
    StartedProgram(StartedProgram&&) noexcept;
    StartedProgram& operator=(StartedProgram&&) noexcept;
    // Waits if wait() was not called.
    ~StartedProgram();

    // Waits for the program to end (within the options' timeout, counted from the start), ends
    // whatever it started and left running, and returns what it wrote. Call once.
    RunResult wait();

private:
    struct State;
    explicit StartedProgram(std::unique_ptr<State> state);
    friend StartedProgram start_program(const std::string&, const std::vector<Arg>&,
                                        const RunOptions&);
    std::unique_ptr<State> m_state;
};

StartedProgram start_program(const std::string& program, const std::vector<Arg>& args,
                             const RunOptions& options = {});
StartedProgram start_corvel(const std::vector<Arg>& args, const RunOptions& options = {});

// The Windows path of the corvel.exe under test.
std::string corvel_exe();

// PATH as this test program inherited it (Wine builds it from the registry at start-up).
std::string inherited_path();

// ---------------------------------------------------------------------------------------------
// Registry

enum class Hive { CurrentUser, LocalMachine };

struct RegKey {
    Hive hive;
    std::string path;  // below the hive, backslash-separated

    // The key `name` below this one.
    RegKey operator/(std::string_view name) const;
};

inline const RegKey k_user_environment{Hive::CurrentUser, "Environment"};
inline const RegKey k_system_environment{
    Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"};
inline const RegKey k_javasoft_jdk{Hive::LocalMachine, "SOFTWARE\\JavaSoft\\JDK"};
inline const RegKey k_javasoft_development_kit{Hive::LocalMachine,
                                               "SOFTWARE\\JavaSoft\\Java Development Kit"};
inline const RegKey k_wow_javasoft_jdk{Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\JavaSoft\\JDK"};
inline const RegKey k_wow_javasoft_development_kit{
    Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\JavaSoft\\Java Development Kit"};

// Registry value types.
inline constexpr std::uint32_t k_reg_sz = 1;
inline constexpr std::uint32_t k_reg_expand_sz = 2;
inline constexpr std::uint32_t k_reg_binary = 3;
inline constexpr std::uint32_t k_reg_dword = 4;
inline constexpr std::uint32_t k_reg_multi_sz = 7;

// A registry value: its type and its data bytes exactly as stored.
struct RegValue {
    std::uint32_t type = k_reg_sz;
    std::string bytes{};

    // REG_SZ / REG_EXPAND_SZ of UTF-8 text, stored as UTF-16 with its terminating NUL.
    static RegValue sz(std::string_view utf8);
    static RegValue expand_sz(std::string_view utf8);
    // REG_SZ of raw UTF-16 units (unpaired surrogates allowed), with the terminating NUL.
    static RegValue sz_utf16(std::wstring_view units);
    // REG_MULTI_SZ: each text NUL-terminated, then one more NUL.
    static RegValue multi_sz(const std::vector<std::string>& utf8_texts);
    static RegValue dword(std::uint32_t value);
    // Any type with any bytes (for example a REG_SZ without its terminating NUL).
    static RegValue raw(std::uint32_t type, std::string bytes);

    // The data as UTF-8 text, for REG_SZ, REG_EXPAND_SZ: up to the first NUL (or the end),
    // unpaired surrogates as U+FFFD. Nothing for other types.
    std::optional<std::string> text() const;

    bool operator==(const RegValue&) const = default;
};
std::ostream& operator<<(std::ostream& stream, const RegValue& value);

// The value `name` of `key`, or nothing when the key or the value is missing.
std::optional<RegValue> read_reg(const RegKey& key, std::string_view name);
// The text of a REG_SZ/REG_EXPAND_SZ value; nothing when missing or of another type.
std::optional<std::string> read_reg_text(const RegKey& key, std::string_view name);
// Writes the value, creating the key and its parents when needed.
void write_reg(const RegKey& key, std::string_view name, const RegValue& value);
// Deletes the value; a missing key or value is not an error.
void delete_reg(const RegKey& key, std::string_view name);
// Deletes the key with everything below it; a missing key is not an error.
void delete_reg_key(const RegKey& key);
// The names of the subkeys of `key`, in enumeration order; empty when the key is missing.
std::vector<std::string> reg_subkeys(const RegKey& key);

// ---------------------------------------------------------------------------------------------
// Files and folders

// The scratch folder C:\corvel-e2e; emptied before every test.
std::string test_root();
// test_root() joined with a relative path.
std::string test_path(std::string_view relative);

// Creates the folder and its missing parents. Folders created outside test_root() are
// remembered and deleted before the next test.
void make_folder(const std::string& path);
// Writes the bytes to the file, creating its folder; replaces an existing file.
void write_file(const std::string& path, std::string_view bytes);
// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> read_file(const std::string& path);
bool path_exists(const std::string& path);
// Deletes a file or a folder with everything in it; a missing path is not an error.
void delete_path(const std::string& path);
// Makes `link` lead to the folder `target`: a directory junction where Wine supports them, else
// a symbolic link on the Linux side, which Windows programs see as an ordinary folder.
void make_folder_link(const std::string& link, const std::string& target);
// Makes `link` a symbolic link on the Linux side to `linux_target` (a device such as /dev/zero).
void make_linux_link(const std::string& link, const std::string& linux_target);

// `text` as a JSON string literal: quoted, with backslashes and quotation marks escaped (for
// config.json content of test data without control characters).
std::string json_string(std::string_view text);

// C:\users\<user>\AppData\Roaming, from SHGetKnownFolderPath.
std::string roaming_app_data();
// roaming_app_data() + \corvel and + \corvel\config.json.
std::string config_folder();
std::string config_path();

// ---------------------------------------------------------------------------------------------
// JDK-like folders

// How the stand-in launcher bin\java.exe answers.
struct JavaAnswer {
    std::string stderr_bytes{};  // written to standard error (the real launcher's banner stream)
    std::string stdout_bytes{};  // written to standard output
    int exit_code = 0;
    long repeat = 1;    // both blocks written this many times, alternating (megabytes of output)
    bool hang = false;  // never ends after writing
    bool echo_stdin = false;  // first copies its standard input to standard output
};

// The three-line banner of an OpenJDK build ("openjdk version "21.0.2" 2024-01-16" ...), lines
// ending in CR LF as the Windows launcher writes them.
std::string openjdk_banner(std::string_view version);
// The banner of an Oracle build ("java version "1.8.0_381"" ...), CR LF line ends.
std::string oracle_banner(std::string_view version);
// A release file as JDK builds ship it: JAVA_VERSION and IMPLEMENTOR lines (values in quotes)
// among keys that share their prefixes (JAVA_VERSION_DATE, IMPLEMENTOR_VERSION, ...), LF line
// ends.
std::string release_file(std::string_view version, std::string_view implementor);

struct JdkLayout {
    // bin\java.exe: the stand-in; nothing: no launcher at all.
    std::optional<JavaAnswer> java = JavaAnswer{openjdk_banner("21.0.2"), "", 0, 1, false};
    // bin\javac.exe (any file); false: a runtime-only folder.
    bool javac = true;
    // The content of the release file in the root; nothing: no release file.
    std::optional<std::string> release{};
};

// Creates a JDK-like folder and returns its full path. A relative `path` lies below
// test_root(); an absolute one (for example "C:\\Program Files\\Java\\jdk-17") is used as is.
// The stand-in keeps its answer beside itself in bin\java.stdout, .stderr and .conf, and logs
// its command lines to bin\java.calls.
std::string make_jdk(const std::string& path, const JdkLayout& layout = {});
// Changes how an existing stand-in launcher at <jdk>\bin\java.exe answers.
void set_java_answer(const std::string& jdk, const JavaAnswer& answer);
// The command lines the stand-in at <jdk>\bin\java.exe was started with, oldest first.
std::vector<std::string> java_calls(const std::string& jdk);

// ---------------------------------------------------------------------------------------------
// Text helpers

// The bytes for a failure message: LF, CR and tab as \n, \r, \t (LF also breaking the line),
// other control bytes (ESC among them) and bytes that are not valid UTF-8 as \xNN; valid
// UTF-8 stays readable.
std::string escaped(std::string_view bytes);
// The text split at line feeds; a CR before the LF is dropped; no empty last line.
std::vector<std::string> lines_of(std::string_view text);

// ---------------------------------------------------------------------------------------------
// The fixture

// Base of every end-to-end test. Before each test: ends programs still running from the test
// folders (a hanging stand-in launcher), deletes the corvel configuration folder, restores every
// value of the user and system environment keys to what it was when the first test program run
// in this prefix started,
// deletes the JavaSoft keys, empties test_root() and deletes the folders that make_folder
// created elsewhere.
class E2eTest : public ::testing::Test {
protected:
    void SetUp() override;
};

// Brings the prefix back to its state at start-up; E2eTest::SetUp calls it.
void reset_state();

}  // namespace corvel::e2e
