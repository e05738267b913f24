#pragma once

#include <functional>
#include <string>

// The lines Ferrule and this program exchange over the pipe between them.

// Writes one line to Ferrule.
void reply(const std::string &line);

// Hands each line Ferrule writes to onLine (without its line end), and calls
// onEnd once when Ferrule's end of the pipe closes.
void watchFerrule(std::function<void(const std::string &)> onLine, std::function<void()> onEnd);
