#pragma once

#include <memory>

#include "platform/platform.h"

namespace corvel {

// Owns the Windows implementations of every platform seam.
class WindowsPlatform {
public:
    WindowsPlatform();
    ~WindowsPlatform();
    WindowsPlatform(const WindowsPlatform&) = delete;
    WindowsPlatform& operator=(const WindowsPlatform&) = delete;

    // The seams, valid while this object lives.
    Platform& platform();

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
    std::unique_ptr<Platform> m_platform;
};

}  // namespace corvel
