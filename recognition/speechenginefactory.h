#pragma once

#include "recognition/speechconfig.h"
#include "recognition/speechengine.h"

#include <memory>

// The engine speech.ini asks for.
std::shared_ptr<SpeechEngine> createSpeechEngine(const SpeechConfig &config);
