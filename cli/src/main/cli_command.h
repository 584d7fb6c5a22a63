#pragma once

#include <string>
#include <variant>

namespace corvel {

// The parsed subcommand with its arguments, exactly as typed.
struct CliCommand {
    struct List {};
    struct Add {
        std::string alias;
        std::string path;
    };
    struct Remove {
        std::string alias;
        bool force = false;
    };
    struct Use {
        std::string alias;
    };
    struct Current {};
    struct Scan {
        bool auto_add = false;
    };
    struct Doctor {};
    struct ExportShell {
        std::string alias;
        std::string shell = "powershell";
    };

    std::variant<List, Add, Remove, Use, Current, Scan, Doctor, ExportShell> value;
};

// A command's failure: the one message that is printed after "Error:".
struct CommandError {
    std::string message;
};

}  // namespace corvel
