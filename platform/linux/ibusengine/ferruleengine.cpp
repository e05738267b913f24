#include "ferruleengine.h"

#include "globalengine.h"

namespace {

FocusInHandler &focusInHandler()
{
    static FocusInHandler handler;
    return handler;
}

} // namespace

struct FerruleEngine
{
    IBusEngine parent;
};
struct FerruleEngineClass
{
    IBusEngineClass parent;
};
G_DEFINE_TYPE(FerruleEngine, ferrule_engine, IBUS_TYPE_ENGINE)

static gboolean ferrule_engine_process_key_event(IBusEngine *, guint, guint, guint)
{
    return FALSE;
}

static void ferrule_engine_focus_in_id(IBusEngine *engine, const gchar *, const gchar *client)
{
    focusInHandler()(engine, client ? client : "");
}

static void ferrule_engine_focus_in(IBusEngine *engine)
{
    focusInHandler()(engine, nullptr);
}

static void ferrule_engine_class_init(FerruleEngineClass *klass)
{
    IBusEngineClass *engine = IBUS_ENGINE_CLASS(klass);
    engine->process_key_event = ferrule_engine_process_key_event;
    engine->focus_in = ferrule_engine_focus_in;
    engine->focus_in_id = ferrule_engine_focus_in_id;
}

static void ferrule_engine_init(FerruleEngine *) {}

namespace {

IBusEngine *createEngine(IBusFactory *factory, const gchar *name, gpointer)
{
    static int serial = 0;
    gchar *path = g_strdup_printf("/org/freedesktop/IBus/Engine/Ferrule/%d", ++serial);
    // With a focus id IBus names the client an engine serves, so that the
    // stand-in context it focuses when no window has the focus is told apart.
    auto *engine = static_cast<IBusEngine *>(g_object_new(
        ferrule_engine_get_type(), "engine-name", name, "object-path", path, "connection",
        ibus_service_get_connection(IBUS_SERVICE(factory)), "has-focus-id", TRUE, nullptr));
    g_free(path);
    return engine;
}

} // namespace

bool registerComponent(GDBusConnection *own)
{
    IBusComponent *component =
        ibus_component_new("org.freedesktop.IBus.Ferrule", "Ferrule voice typing", "1.0", "GPL",
                           "Ferrule", "", "", "ferrule");
    ibus_component_add_engine(component,
                              ibus_engine_desc_new(kEngineName, "Ferrule", "Text typed by Ferrule",
                                                   "other", "GPL", "Ferrule", "", "default"));
    GVariant *result = g_dbus_connection_call_sync(
        own, "org.freedesktop.IBus", "/org/freedesktop/IBus", "org.freedesktop.IBus",
        "RegisterComponent",
        g_variant_new("(v)", ibus_serializable_serialize(IBUS_SERIALIZABLE(component))), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    g_object_unref(component);
    if (result)
        g_variant_unref(result);
    return result != nullptr;
}

IBusFactory *serveFerruleEngine(GDBusConnection *own, FocusInHandler onFocusIn)
{
    focusInHandler() = std::move(onFocusIn);
    IBusFactory *factory = ibus_factory_new(own);
    ibus_factory_add_engine(factory, kEngineName, ferrule_engine_get_type());
    g_signal_connect(factory, "create-engine", G_CALLBACK(createEngine), nullptr);
    return factory;
}

GDBusConnection *connectOwn(GError **error)
{
    const gchar *address = ibus_get_address();
    if (!address)
        return nullptr;
    return g_dbus_connection_new_for_address_sync(
        address,
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, error);
}
