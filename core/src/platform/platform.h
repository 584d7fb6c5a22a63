#pragma once

#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/known_folders.h"
#include "platform/process_environment.h"
#include "platform/process_runner.h"
#include "platform/registry_store.h"

namespace corvel {

// The six platform seams a command works through; the entry builds it from the Windows
// implementations, tests from the in-memory ones.
struct Platform {
    FileSystem& files;
    RegistryStore& registry;
    ProcessRunner& processes;
    KnownFolders& known_folders;
    ProcessEnvironment& environment;
    Console& console;
};

}  // namespace corvel
