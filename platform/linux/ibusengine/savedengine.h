#pragma once

#include <string>

// The user's engine, noted in the runtime folder whenever it changes, so that
// a run killed in the middle of a commit (this engine left as the global one)
// is mended by the next start.
void noteEngine(const std::string &name);

// The engine noted last, empty when none was.
std::string savedEngine();
