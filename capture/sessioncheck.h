#pragma once

// Says once at start, in the log and in a prompt, what this session does not
// let Ferrule do: hear the side buttons (hearsButtons false: no hook), type
// into a window, or both, and that the README's "Push-to-talk" section explains
// it. Says nothing when both work. Returns whether it had something to say.
bool reportSessionLimits(bool hearsButtons);
