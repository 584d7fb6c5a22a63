#include "main/dispatcher.h"

#include <variant>

namespace corvel {

namespace {
template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
}  // namespace

CommandResult run_command(const CliCommand& command, CommandContext& context) {
    return std::visit(
        Overloaded{
            [&](const CliCommand::List&) { return run_list(context); },
            [&](const CliCommand::Add& add) { return run_add(context, add.alias, add.path); },
            [&](const CliCommand::Remove& remove) {
                return run_remove(context, remove.alias, remove.force);
            },
            [&](const CliCommand::Use& use) { return run_use(context, use.alias); },
            [&](const CliCommand::Current&) { return run_current(context); },
            [&](const CliCommand::Scan& scan) { return run_scan(context, scan.auto_add); },
            [&](const CliCommand::Doctor&) { return run_doctor(context); },
            [&](const CliCommand::ExportShell& export_shell) {
                return run_export_shell(context, export_shell.alias, export_shell.shell);
            },
        },
        command.value);
}

}  // namespace corvel
