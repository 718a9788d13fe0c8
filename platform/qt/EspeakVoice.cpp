#include "platform/qt/EspeakVoice.h"

#include <algorithm>
#include <espeak-ng/speak_lib.h>
#include <mutex>

#include "platform/qt/AlsaSound.h"

// espeak-ng keeps one synthesiser per process; every use goes through here.
static std::mutex& EspeakMutex()
{
    static std::mutex m;
    return m;
}
static int g_sampleRate = 0;  // 0: not started, -1: failed to start

static int CollectSamples(short* wav, int count, espeak_EVENT* events)
{
    if (wav && count > 0 && events && events->user_data) {
        auto* out = static_cast<std::vector<int16_t>*>(events->user_data);
        out->insert(out->end(), wav, wav + count);
    }
    return 0;
}

std::unique_ptr<EspeakVoice> EspeakVoice::Create()
{
    std::lock_guard lock(EspeakMutex());
    if (g_sampleRate == 0) {
        int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 200, nullptr, espeakINITIALIZE_DONT_EXIT);
        g_sampleRate = rate > 0 ? rate : -1;
        if (rate > 0)
            espeak_SetSynthCallback(&CollectSamples);
    }
    if (g_sampleRate < 0)
        return nullptr;
    if (espeak_SetVoiceByName("cmn") != EE_OK)
        return nullptr;
    return std::unique_ptr<EspeakVoice>(new EspeakVoice());
}

int EspeakVoice::WordsPerMinute(int steps)
{
    return std::clamp(80 + 12 * steps, 80, 450);
}

PcmSound EspeakVoice::Synthesize(const std::string& markupUtf8)
{
    SpokenMarkup parsed = ParseSpokenMarkup(markupUtf8);
    PcmSound sound;
    sound.channels = 1;
    std::lock_guard lock(EspeakMutex());
    sound.sampleRate = g_sampleRate;
    // Only Chinese prompts exist; any other language id still reads them in
    // Mandarin rather than spelling them out with an English voice.
    espeak_SetVoiceByName("cmn");
    espeak_SetParameter(espeakRATE, WordsPerMinute(rate_ + parsed.rateSteps), 0);
    espeak_Synth(parsed.text.c_str(), parsed.text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                 &sound.samples);
    return sound;
}

void EspeakVoice::Speak(const std::string& markupUtf8)
{
    PcmSound sound = Synthesize(markupUtf8);
    PlayPcmBlocking(sound);
}
