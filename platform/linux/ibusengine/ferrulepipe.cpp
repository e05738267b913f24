#include "ferrulepipe.h"

#include <glib.h>

#include <cstdio>

namespace {

struct Watch
{
    std::function<void(const std::string &)> onLine;
    std::function<void()> onEnd;
};

gboolean readLine(GIOChannel *channel, GIOCondition, gpointer data)
{
    auto *watch = static_cast<Watch *>(data);
    gchar *line = nullptr;
    gsize length = 0;
    const GIOStatus status = g_io_channel_read_line(channel, &line, &length, nullptr, nullptr);
    if (status == G_IO_STATUS_NORMAL && line) {
        watch->onLine(g_strchomp(line));
        g_free(line);
        return G_SOURCE_CONTINUE;
    }
    g_free(line);
    if (status == G_IO_STATUS_AGAIN)
        return G_SOURCE_CONTINUE;
    watch->onEnd();
    return G_SOURCE_REMOVE;
}

} // namespace

void reply(const std::string &line)
{
    std::fputs((line + '\n').c_str(), stdout);
    std::fflush(stdout);
}

void watchFerrule(std::function<void(const std::string &)> onLine, std::function<void()> onEnd)
{
    GIOChannel *input = g_io_channel_unix_new(0);
    g_io_add_watch_full(input, G_PRIORITY_DEFAULT, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR),
                        readLine, new Watch{std::move(onLine), std::move(onEnd)},
                        [](gpointer data) { delete static_cast<Watch *>(data); });
    g_io_channel_unref(input);
}
