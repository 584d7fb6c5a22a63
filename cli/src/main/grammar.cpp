#include "main/grammar.h"

#include <CLI/CLI.hpp>
#include <sstream>
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

// A usage error's message followed by the usage line of the command it concerns.
std::string usage_error_text(const CLI::App* app, std::string_view message) {
    std::string text = "error: " + std::string(message) + "\n\n";
    CLI::Formatter formatter;
    text += formatter.make_usage(
        app, app->get_parent() == nullptr ? app->get_name() : "corvel " + app->get_name());
    text += "\nFor more information, try '--help'.\n";
    return text;
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

    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error, out, err);
        return finish(status == 0 ? 0 : 2);
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
            err << failure_text(&app, CLI::ExtrasError({fields.help_topic.front()}));
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
