#pragma once

#include "recognition/speechconfig.h"

struct ps_decoder_s;
class ModelDictionary;

// A pocketsphinx decoder of one language's model with the search settings this engine
// uses. It reads only the dictionary entries of the language model's words, taken from
// dictionary (the model's full one). Null when the model cannot be loaded (pocketsphinx
// has logged why); the caller frees the decoder with ps_free.
ps_decoder_s *openSphinxDecoder(const SpeechModelPaths &paths, const ModelDictionary &dictionary);
