// Presses keys on a KWin compositor as the user's keyboard would, through
// KWin's fake-input protocol (KWin offers it to any client only with
// KWIN_WAYLAND_NO_PERMISSION_CHECKS=1, as scripts/testenv/with-kwin starts it):
//   waylandkeys <text of a-z and blanks>
// The keys go through the input method like the user's own.
#include "fake-input-client.h"

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstring>

namespace {

org_kde_kwin_fake_input *fakeInput = nullptr;

void announced(void *, wl_registry *registry, uint32_t name, const char *interface,
               uint32_t version)
{
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fakeInput = static_cast<org_kde_kwin_fake_input *>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}

void removed(void *, wl_registry *, uint32_t) {}

const wl_registry_listener listener{announced, removed};

int keycodeFor(char c)
{
    static const int letters[] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                                  KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                                  KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
    if (c >= 'a' && c <= 'z')
        return letters[c - 'a'];
    return c == ' ' ? KEY_SPACE : -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return 1;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, nullptr);
    wl_display_roundtrip(display);
    if (!fakeInput) {
        std::fputs("waylandkeys: the compositor offers no fake input\n", stderr);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fakeInput, "ferrule tests", "types the user's keys");
    for (const char *c = argv[1]; *c; ++c) {
        const int code = keycodeFor(*c);
        if (code < 0)
            return 2;
        org_kde_kwin_fake_input_keyboard_key(fakeInput, uint32_t(code), 1);
        org_kde_kwin_fake_input_keyboard_key(fakeInput, uint32_t(code), 0);
        wl_display_roundtrip(display);
    }
    wl_display_disconnect(display);
    return 0;
}
