// Turns on the shell's unsafe mode, in which org.gnome.Shell.Eval answers:
// tests read the shell's own state (its current input source) through it.
/* exported init */
class Extension {
    enable() {
        global.context.unsafe_mode = true;
    }

    disable() {
        global.context.unsafe_mode = false;
    }
}

function init() {
    return new Extension();
}
