// The GTK 3 counterpart of typingtarget: an editor window that reports its text
// on request, so the typing tests reach GTK's input-method modules too.
// Commands on stdin, one per line:
//   text   -> "text <base64 of the UTF-8 text>"
//   clear  -> "ok"
// At start it prints "ready <window id in hex>" once the window is on screen
// (on Wayland, where GDK_BACKEND=wayland puts it, "ready 1").
// Options: --line (a one-line entry instead of a text view).
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

GtkWidget *entry = nullptr;
GtkTextBuffer *buffer = nullptr;

void reply(const std::string &line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string text()
{
    if (entry)
        return gtk_entry_get_text(GTK_ENTRY(entry));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar *all = gtk_text_buffer_get_text(buffer, &start, &end, TRUE);
    std::string copy = all;
    g_free(all);
    return copy;
}

gboolean onMapped(GtkWidget *window, GdkEvent *, gpointer)
{
    static bool told = false;
    if (!told) {
        told = true;
        char id[32];
        // On Wayland a window has no id others can use: any will do.
        GdkWindow *own = gtk_widget_get_window(window);
        std::snprintf(id, sizeof id, "%lx", GDK_IS_X11_WINDOW(own) ? gdk_x11_window_get_xid(own) : 1ul);
        reply(std::string("ready ") + id);
    }
    return FALSE;
}

gboolean onCommand(GIOChannel *channel, GIOCondition, gpointer)
{
    gchar *line = nullptr;
    gsize length = 0;
    if (g_io_channel_read_line(channel, &line, &length, nullptr, nullptr) != G_IO_STATUS_NORMAL) {
        gtk_main_quit();
        return FALSE;
    }
    const std::string command = g_strstrip(line);
    g_free(line);
    if (command == "text") {
        const std::string all = text();
        gchar *encoded = g_base64_encode(reinterpret_cast<const guchar *>(all.data()), all.size());
        reply(std::string("text ") + encoded);
        g_free(encoded);
    } else if (command == "clear") {
        if (entry)
            gtk_entry_set_text(GTK_ENTRY(entry), "");
        else
            gtk_text_buffer_set_text(buffer, "", 0);
        reply("ok");
    }
    return TRUE;
}

} // namespace

int main(int argc, char **argv)
{
    gtk_init(&argc, &argv);
    bool oneLine = false;
    for (int i = 1; i < argc; ++i)
        oneLine = oneLine || std::strcmp(argv[i], "--line") == 0;

    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "typing target");
    gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    GtkWidget *editor = nullptr;
    if (oneLine) {
        editor = entry = gtk_entry_new();
    } else {
        editor = gtk_text_view_new();
        buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(editor));
    }
    gtk_container_add(GTK_CONTAINER(window), editor);
    g_signal_connect(window, "map-event", G_CALLBACK(onMapped), nullptr);
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(editor);

    GIOChannel *input = g_io_channel_unix_new(0);
    g_io_add_watch(input, GIOCondition(G_IO_IN | G_IO_HUP), onCommand, nullptr);
    gtk_main();
    g_io_channel_unref(input);
    return 0;
}
