#include "savedengine.h"

#include "globalengine.h"

#include <glib.h>

namespace {

std::string stateFile()
{
    return std::string(g_get_user_runtime_dir()) + "/ferrule-ibus-engine.state";
}

} // namespace

void noteEngine(const std::string &name)
{
    if (!name.empty() && name != kEngineName)
        g_file_set_contents(stateFile().c_str(), name.c_str(), -1, nullptr);
}

std::string savedEngine()
{
    gchar *contents = nullptr;
    if (!g_file_get_contents(stateFile().c_str(), &contents, nullptr, nullptr))
        return std::string();
    std::string name = g_strstrip(contents);
    g_free(contents);
    return name;
}
