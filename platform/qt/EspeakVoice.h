#pragma once
// The Mandarin voice: espeak-ng synthesises into memory, ALSA plays it.

#include <memory>
#include <string>

#include "platform/PromptAudio.h"
#include "platform/WaveFile.h"

class EspeakVoice final : public SpeechVoice {
public:
    // Null when espeak-ng cannot start or has no Mandarin voice ("cmn").
    static std::unique_ptr<EspeakVoice> Create();

    void SetRate(int rate) override { rate_ = rate; }
    // Synthesises and plays to the end; without an audio device it returns
    // as soon as the text is synthesised.
    void Speak(const std::string& markupUtf8) override;

    // The samples Speak would play: the markup's language picks the voice
    // (804: Mandarin) and its rate is added to SetRate's.
    PcmSound Synthesize(const std::string& markupUtf8);

    // Words per minute for a rate in steps. 12 a step puts SpeechRate 1 at a
    // slow 116 and SpeechRate 10 at a brisk 332 through the doubled scale, with
    // the default 4 (9 steps with the markup's +1) near espeak's natural 188.
    static int WordsPerMinute(int steps);

private:
    EspeakVoice() = default;
    int rate_ = 0;
};
