// The Windows entry point: arguments become UTF-8 at once; everything else is run_entry.
#include <string>
#include <vector>

#include "main/entry.h"
#include "platform/windows_platform.h"
#include "text/text.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        std::wstring_view wide(argv[i]);
        arguments.push_back(corvel::from_utf16_lossy(
            std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size())));
    }
    corvel::WindowsPlatform windows;
    int status = corvel::run_entry(windows.platform(), arguments);
    windows.platform().console.flush(corvel::StandardStream::Output);
    windows.platform().console.flush(corvel::StandardStream::Error);
    return status;
}
