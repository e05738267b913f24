#include "modes.h"

namespace {

std::string look(IBusProperty *property)
{
    auto text = [](IBusText *value) {
        const gchar *chars = value ? ibus_text_get_text(value) : nullptr;
        return std::string(chars ? chars : "");
    };
    const gchar *icon = ibus_property_get_icon(property);
    return text(ibus_property_get_label(property)) + '\n' + (icon ? icon : "") + '\n' +
           text(ibus_property_get_symbol(property)) + '\n' +
           std::to_string(ibus_property_get_state(property));
}

} // namespace

EngineModes::EngineModes(GDBusConnection *connection, const std::string &own)
    : connection(G_DBUS_CONNECTION(g_object_ref(connection))), own(own)
{
    // Deserializing finds the types by name: they must exist first.
    g_type_ensure(IBUS_TYPE_PROP_LIST);
    g_type_ensure(IBUS_TYPE_PROPERTY);
    g_type_ensure(IBUS_TYPE_TEXT);
    g_type_ensure(IBUS_TYPE_ATTR_LIST);
    g_type_ensure(IBUS_TYPE_ATTRIBUTE);
    subscription = g_dbus_connection_signal_subscribe(
        connection, nullptr, "org.freedesktop.IBus.Engine", nullptr, nullptr, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, &EngineModes::onSignal, this, nullptr);
}

EngineModes::~EngineModes()
{
    g_dbus_connection_signal_unsubscribe(connection, subscription);
    g_object_unref(connection);
}

void EngineModes::onSignal(GDBusConnection *, const gchar *sender, const gchar *path, const gchar *,
                           const gchar *member, GVariant *parameters, gpointer data)
{
    auto *self = static_cast<EngineModes *>(data);
    if (!sender || self->own == sender)
        return;
    const bool all = g_strcmp0(member, "RegisterProperties") == 0;
    if (!all && g_strcmp0(member, "UpdateProperty") != 0)
        return;
    GVariant *child = nullptr;
    g_variant_get(parameters, "(v)", &child);
    IBusSerializable *value = ibus_serializable_deserialize(child);
    g_variant_unref(child);
    if (!value)
        return;
    g_object_ref_sink(value);
    if (self->now.sender != sender || self->now.path != path) {
        // Properties of one engine only: another engine's come with a list.
        if (!all) {
            g_object_unref(value);
            return;
        }
        self->now = Snapshot();
        self->now.sender = sender;
        self->now.path = path;
    }
    if (all && IBUS_IS_PROP_LIST(value)) {
        IBusPropList *list = IBUS_PROP_LIST(value);
        for (guint i = 0; IBusProperty *property = ibus_prop_list_get(list, i); ++i)
            self->note(property);
    } else if (!all && IBUS_IS_PROPERTY(value)) {
        self->note(IBUS_PROPERTY(value));
    }
    g_object_unref(value);
}

void EngineModes::note(IBusProperty *property)
{
    const gchar *key = ibus_property_get_key(property);
    if (!key)
        return;
    now.looks[key] = look(property);
    now.types[key] = ibus_property_get_prop_type(property);
    now.states[key] = ibus_property_get_state(property);
}

bool EngineModes::hasNewEngine(const Snapshot &before) const
{
    return !now.sender.empty() && (now.sender != before.sender || now.path != before.path);
}

bool EngineModes::matches(const Snapshot &before) const
{
    for (const auto &[key, looks] : before.looks) {
        const auto found = now.looks.find(key);
        if (found != now.looks.end() && found->second != looks)
            return false;
    }
    return true;
}

int EngineModes::restore(const Snapshot &before)
{
    int asked = 0;
    for (const auto &[key, looks] : before.looks) {
        const auto found = now.looks.find(key);
        if (found == now.looks.end() || found->second == looks)
            continue;
        // A mode switch is a plain property that changes at each activation
        // (libpinyin's) or a toggle; menus and radio groups are left alone.
        const guint type = now.types.at(key);
        if (type != PROP_TYPE_NORMAL && type != PROP_TYPE_TOGGLE)
            continue;
        g_dbus_connection_call(connection, now.sender.c_str(), now.path.c_str(),
                               "org.freedesktop.IBus.Engine", "PropertyActivate",
                               g_variant_new("(su)", key.c_str(), before.states.at(key)), nullptr,
                               G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr, nullptr);
        ++asked;
    }
    return asked;
}
