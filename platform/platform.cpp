#include "platform/platform.h"

namespace {

// Lives for the whole run, like the desktop it stands for.
std::unique_ptr<Platform> &installed()
{
    static std::unique_ptr<Platform> platform;
    return platform;
}

} // namespace

Platform &platform()
{
    if (!installed())
        installed() = systemPlatform();
    return *installed();
}

void installPlatform(std::unique_ptr<Platform> platform)
{
    installed() = std::move(platform);
}
