#include "recognition/speechenginefactory.h"

#include "recognition/embeddedengine.h"
#include "recognition/remoteengine.h"
#include "recognition/workerengine.h"

std::shared_ptr<SpeechEngine> createSpeechEngine(const SpeechConfig &config)
{
    WorkerEngine::Settings settings;
    settings.resultTimeoutMs = config.resultTimeoutMs;
    settings.endSilenceMs = config.endSilenceMs;
    std::unique_ptr<Transcriber> transcriber;
    if (config.engine == SpeechConfig::Engine::Remote)
        transcriber = std::make_unique<RemoteEngine>(config);
    else
        transcriber = std::make_unique<EmbeddedEngine>(config);
    return std::make_shared<WorkerEngine>(std::move(transcriber), settings);
}
