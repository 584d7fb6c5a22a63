// End-to-end tests of corvel.exe as a file: the manifest and the version resource that Windows
// reads from it. (Its import list is checked on Linux by check-imports.sh.)
#include <windows.h>

#include "harness.h"

namespace corvel::e2e {
namespace {

std::wstring wide(const std::string& utf8) {
    std::wstring units(utf8.size(), L'\0');
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                   units.data(), static_cast<int>(units.size()));
    units.resize(static_cast<size_t>(size));
    return units;
}

std::string manifest_of(const std::string& program) {
    HMODULE module = LoadLibraryExW(wide(program).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        throw HarnessError("cannot load " + program + " as data");
    }
    std::string text;
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        HGLOBAL loaded = LoadResource(module, found);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        text.assign(bytes, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

// The bytes of the version resource.
std::string version_block(const std::string& program) {
    std::wstring path = wide(program);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::string block(size, '\0');
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return {};
    }
    return block;
}

std::string version_string(std::string& block, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || length == 0) {
        return "(missing)";
    }
    std::wstring text(static_cast<const wchar_t*>(value), length);
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return std::string(text.begin(), text.end());  // the version texts are ASCII
}

TEST(ProgramFileE2e, ManifestAsksForNothingAndDeclaresLongPathsAndWindows10) {
    std::string manifest = manifest_of(corvel_exe());
    ASSERT_FALSE(manifest.empty()) << "no manifest resource in " << corvel_exe();
    EXPECT_NE(manifest.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"),
              std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find(">true</longPathAware>"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
}

TEST(ProgramFileE2e, VersionResourceSaysZeroPointOnePointZero) {
    std::string block = version_block(corvel_exe());
    ASSERT_FALSE(block.empty()) << "no version resource in " << corvel_exe();

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, (0u << 16) | 1u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, (0u << 16) | 1u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(version_string(block, L"FileVersion"), "0.1.0");
    EXPECT_EQ(version_string(block, L"ProductVersion"), "0.1.0");
    EXPECT_EQ(version_string(block, L"OriginalFilename"), "corvel.exe");
}

}  // namespace
}  // namespace corvel::e2e
