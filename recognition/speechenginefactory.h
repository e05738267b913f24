#pragma once

#include "recognition/speechconfig.h"
#include "recognition/speechengine.h"

#include <functional>
#include <memory>

// Makes the engine that serves a configuration read from speech.ini.
using SpeechEngineFactory = std::function<std::shared_ptr<SpeechEngine>(const SpeechConfig &)>;

// The engine speech.ini asks for: the SDK's factory unless it is given another.
std::shared_ptr<SpeechEngine> createSpeechEngine(const SpeechConfig &config);

// The factory the SDK makes its engine with from the next SpeechLogin on; an empty
// one gives it back createSpeechEngine.
void setSpeechEngineFactory(SpeechEngineFactory factory);
