#include "main/grammar.h"

#include <CLI/CLI.hpp>
#include <array>
#include <sstream>
#include <utility>
#include <vector>

namespace corvel {

namespace {

constexpr const char* k_about = "Java JDK version manager for Windows";
constexpr const char* k_long_about =
    "Manage multiple JDK installations, switch JAVA_HOME, and keep your PATH clean.";
constexpr const char* k_version = "corvel " CORVEL_VERSION;

// The values the subcommands fill in while parsing.
struct Fields {
    std::string alias;
    std::string path;
    std::string shell = "powershell";
    bool force = false;
    bool auto_add = false;
    std::vector<std::string> help_topic;
};

// The usage line of each subcommand, as a person would type it.
constexpr std::array<std::pair<std::string_view, std::string_view>, 9> k_usage_lines{{
    {"list", "corvel list"},
    {"add", "corvel add <ALIAS> <PATH>"},
    {"remove", "corvel remove <ALIAS> [-f|--force]"},
    {"use", "corvel use <ALIAS>"},
    {"current", "corvel current"},
    {"scan", "corvel scan [-a|--auto-add]"},
    {"doctor", "corvel doctor"},
    {"export-shell", "corvel export-shell <ALIAS> [--shell <SHELL>]"},
    {"help", "corvel help [COMMAND]"},
}};

// A usage error's message followed by the usage line of the command it concerns: the
// subcommand's own when one was being parsed, the parser's top-level line otherwise.
std::string usage_error_text(const CLI::App* app, std::string_view message) {
    std::string text = "error: " + std::string(message) + "\n\n";
    std::string usage;
    for (const auto& [name, line] : k_usage_lines) {
        if (app->get_parent() != nullptr && app->get_name() == name) {
            usage = "Usage: " + std::string(line) + "\n";
        }
    }
    if (usage.empty()) {
        CLI::Formatter formatter;
        usage = formatter.make_usage(app, app->get_name());
    }
    text += usage;
    text += "\nFor more information, try '--help'.\n";
    return text;
}

// The subcommand the parser had entered when it stopped, or the top level.
const CLI::App* command_in_progress(const CLI::App& app) {
    auto entered = app.get_subcommands([](const CLI::App* sub) { return sub->parsed(); });
    return entered.empty() ? &app : entered.front();
}

// The parser's message for `error`, in words a person can act on where its own are obscure.
std::string usage_message(const CLI::App* command, const CLI::ParseError& error) {
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        for (const CLI::Option* option : command->get_options()) {
            if (!option->get_positional() && option->get_items_expected_max() == 1 &&
                option->count() > 1) {
                return "the option '" + option->get_name() + "' can be given only once";
            }
        }
    }
    return error.what();
}

// A flag written with a value ("--force=false", "-f=x", "--auto-add="), which the parser would
// take as true or false: flags take no value. Arguments after "--" are values, and so is the
// one after an option that takes a value.
std::optional<std::string> flag_given_a_value(const CLI::App& app,
                                              std::span<const std::string> arguments,
                                              const CLI::App*& command) {
    command = &app;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            break;
        }
        if (argument.size() < 2 || !argument.starts_with('-')) {
            if (command == &app) {
                auto named = app.get_subcommands(
                    [&argument](const CLI::App* sub) { return sub->get_name() == argument; });
                if (!named.empty()) {
                    command = named.front();
                }
            }
            continue;
        }
        std::size_t equals = argument.find('=');
        std::string name = argument.substr(0, equals);
        const CLI::Option* option = command->get_option_no_throw(name);
        if (option == nullptr) {
            continue;
        }
        if (option->get_items_expected_max() == 0) {
            if (equals != std::string::npos) {
                return "the flag '" + name + "' takes no value, but was given '" + argument + "'";
            }
        } else if (equals == std::string::npos) {
            ++i;
        }
    }
    return std::nullopt;
}

// The parser's error text followed by the usage line of the command that failed.
std::string failure_text(const CLI::App* app, const CLI::Error& error) {
    return usage_error_text(app, error.what());
}

void add_alias(CLI::App* command, Fields& fields, const char* help) {
    command->add_option("ALIAS", fields.alias, help)->required()->type_name("");
}

void build(CLI::App& app, Fields& fields) {
    app.description(std::string(k_about) + "\n\n" + k_long_about);
    app.set_version_flag("-V,--version", k_version, "Print version");
    app.set_help_flag("-h,--help", "Print help");
    app.failure_message(failure_text);
    app.require_subcommand(1);
    // CLI11 reads "/name" as an option on Windows; here it is a value, such as the path
    // //server/share/jdk. The subcommands added below inherit this.
    app.allow_windows_style_options(false);

    app.add_subcommand("list", "List all configured Java versions");

    CLI::App* add = app.add_subcommand("add", "Add a JDK with a given alias and path");
    add_alias(add, fields, "Short name for this JDK (e.g. java21)");
    add->add_option("PATH", fields.path, "Absolute path to the JDK root folder")
        ->required()
        ->type_name("");

    CLI::App* remove = app.add_subcommand("remove", "Remove a configured Java version by alias");
    add_alias(remove, fields, "");
    remove->add_flag("-f,--force", fields.force, "Skip confirmation prompt");

    CLI::App* use = app.add_subcommand(
        "use", "Switch to a configured Java version (updates JAVA_HOME and PATH)");
    add_alias(use, fields, "");

    app.add_subcommand("current", "Show the currently active Java version");

    CLI::App* scan = app.add_subcommand("scan", "Scan common Windows locations for installed JDKs");
    scan->add_flag("-a,--auto-add", fields.auto_add,
                   "Automatically add all discovered JDKs that are not yet configured");

    app.add_subcommand("doctor", "Run diagnostics and show environment health");

    CLI::App* export_shell = app.add_subcommand(
        "export-shell",
        "Print shell commands to activate a version in the current terminal session");
    add_alias(export_shell, fields, "");
    export_shell->add_option("--shell", fields.shell, "Target shell: powershell (default) or cmd")
        ->type_name("<SHELL>")
        ->capture_default_str();

    CLI::App* help =
        app.add_subcommand("help", "Print this message or the help of the given subcommand(s)");
    help->add_option("COMMAND", fields.help_topic)->type_name("");
}

std::optional<CliCommand> to_command(const CLI::App& chosen, Fields& fields) {
    const std::string& name = chosen.get_name();
    if (name == "list") {
        return CliCommand{CliCommand::List{}};
    }
    if (name == "add") {
        return CliCommand{CliCommand::Add{fields.alias, fields.path}};
    }
    if (name == "remove") {
        return CliCommand{CliCommand::Remove{fields.alias, fields.force}};
    }
    if (name == "use") {
        return CliCommand{CliCommand::Use{fields.alias}};
    }
    if (name == "current") {
        return CliCommand{CliCommand::Current{}};
    }
    if (name == "scan") {
        return CliCommand{CliCommand::Scan{fields.auto_add}};
    }
    if (name == "doctor") {
        return CliCommand{CliCommand::Doctor{}};
    }
    if (name == "export-shell") {
        return CliCommand{CliCommand::ExportShell{fields.alias, fields.shell}};
    }
    return std::nullopt;
}

}  // namespace

ParseOutcome parse_command_line(std::span<const std::string> arguments, Console& console) {
    CLI::App app{"", "corvel"};
    Fields fields;
    build(app, fields);

    std::ostringstream out;
    std::ostringstream err;
    auto finish = [&](int status) {
        console.write(StandardStream::Output, out.str());
        console.write(StandardStream::Error, err.str());
        return ParseOutcome{std::nullopt, status};
    };

    if (arguments.empty()) {
        err << app.help();
        return finish(2);
    }

    // A first word that names no subcommand would otherwise be reported as a missing one.
    const std::string& first = arguments.front();
    if (!first.starts_with('-')) {
        auto known =
            app.get_subcommands([&first](const CLI::App* sub) { return sub->get_name() == first; });
        if (known.empty()) {
            err << usage_error_text(&app, "unrecognized subcommand '" + first + "'");
            return finish(2);
        }
    }

    const CLI::App* misused = nullptr;
    if (std::optional<std::string> message = flag_given_a_value(app, arguments, misused)) {
        err << usage_error_text(misused, *message);
        return finish(2);
    }

    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::Success& success) {
        return finish(app.exit(success, out, err));
    } catch (const CLI::ParseError& error) {
        const CLI::App* command = command_in_progress(app);
        err << usage_error_text(command, usage_message(command, error));
        return finish(2);
    }

    const std::vector<CLI::App*> chosen = app.get_subcommands();
    if (chosen.empty()) {
        err << failure_text(&app, CLI::RequiredError("A subcommand"));
        return finish(2);
    }
    if (chosen.front()->get_name() == "help") {
        app.clear();  // help() would otherwise describe the chosen subcommand
        if (fields.help_topic.empty()) {
            out << app.help();
            return finish(0);
        }
        try {
            out << app.get_subcommand(fields.help_topic.front())->help();
            return finish(0);
        } catch (const CLI::OptionNotFound&) {
            err << failure_text(chosen.front(), CLI::ExtrasError({fields.help_topic.front()}));
            return finish(2);
        }
    }
    std::optional<CliCommand> command = to_command(*chosen.front(), fields);
    if (!command) {
        err << failure_text(&app, CLI::ExtrasError({chosen.front()->get_name()}));
        return finish(2);
    }
    return ParseOutcome{std::move(command), 0};
}

}  // namespace corvel
