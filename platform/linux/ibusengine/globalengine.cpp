#include "globalengine.h"

#include "savedengine.h"

std::string engineName(IBusEngineDesc *desc)
{
    const gchar *name = desc ? ibus_engine_desc_get_name(desc) : nullptr;
    return name ? name : "";
}

std::string globalEngine(IBusBus *bus)
{
    GVariant *result = g_dbus_connection_call_sync(
        ibus_bus_get_connection(bus), "org.freedesktop.IBus", "/org/freedesktop/IBus",
        "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.freedesktop.IBus", "GlobalEngine"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, 3000, nullptr, nullptr);
    if (!result)
        return std::string();
    GVariant *value = nullptr;
    g_variant_get(result, "(v)", &value);
    g_variant_unref(result);
    IBusSerializable *desc = ibus_serializable_deserialize(value);
    g_variant_unref(value);
    std::string name;
    if (desc) {
        g_object_ref_sink(desc);
        if (IBUS_IS_ENGINE_DESC(desc))
            name = engineName(IBUS_ENGINE_DESC(desc));
        g_object_unref(desc);
    }
    return name;
}

bool setGlobalEngine(IBusBus *bus, const std::string &name)
{
    GVariant *result = g_dbus_connection_call_sync(
        ibus_bus_get_connection(bus), "org.freedesktop.IBus", "/org/freedesktop/IBus",
        "org.freedesktop.IBus", "SetGlobalEngine", g_variant_new("(s)", name.c_str()), nullptr,
        G_DBUS_CALL_FLAGS_NONE, kSwitchTimeoutMs, nullptr, nullptr);
    if (result)
        g_variant_unref(result);
    return result != nullptr;
}

void restoreLeftEngine(IBusBus *bus)
{
    // IBus may still be busy with the switch the run asked for, which cancels
    // this one: asked again until it holds.
    const std::string saved = savedEngine();
    for (int tries = 0; tries < 20 && !saved.empty(); ++tries) {
        const std::string current = globalEngine(bus);
        if (current != kEngineName && !current.empty())
            return;
        if (!setGlobalEngine(bus, saved))
            g_usleep(50 * 1000);
    }
}
