#pragma once
// Prompt sounds and the spoken prompt, behind two small interfaces so the
// window can be tested with recorders and run with ALSA and espeak-ng.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

// Starts a wave file and returns at once; a new sound cuts off one still
// playing; a missing file or audio device plays nothing and reports nothing.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void Play(const std::filesystem::path& waveFile) = 0;
};

// A voice that takes a rate and speaks a marked-up text to the end before
// returning. The markup is `<lang langid="804"><rate speed="N">text</rate></lang>`:
// langid is a hexadecimal language identifier (804: Chinese, PRC) and speed
// is added to the rate set with SetRate.
class SpeechVoice {
public:
    virtual ~SpeechVoice() = default;
    virtual void SetRate(int rate) = 0;  // steps around 0, as the markup counts them
    virtual void Speak(const std::string& markupUtf8) = 0;
};

// The operating-system version record the rate rule reads. Here it reports a
// platform that is not Windows NT (platform id 0), so the doubled rate applies.
struct OsVersionRecord {
    int platformId = 0;  // 2: Windows NT
    int majorVersion = 0;
};
OsVersionRecord CurrentOsVersion();

// SpeechRate (1 .. 10) as handed to the voice: unchanged on NT 6 or later,
// doubled elsewhere. A rate outside 1 .. 10 (a damaged "YJSet.dat") counts as
// the nearest end.
int VoiceRateFor(const OsVersionRecord& version, int speechRate);

// "<lang langid="804"><rate speed="1">" + text + "</rate></lang>".
std::string BuildSpokenMarkup(const std::string& statusTextUtf8);

// Waits 500 ms (the prompt sound keeps playing), sets the rate and speaks
// `statusText` in Mandarin; returns when the sentence has been spoken.
void SpeakPrompt(SpeechVoice& voice, const std::string& statusTextUtf8, int speechRate,
                 const OsVersionRecord& version, const std::function<void(std::chrono::milliseconds)>& sleep);

inline constexpr std::chrono::milliseconds kSpeechLeadIn{500};

// The parts of the markup a voice needs. Anything the markup lacks keeps
// the defaults: no language element = language 0, no rate element = 0 steps.
struct SpokenMarkup {
    int langId = 0;
    int rateSteps = 0;
    std::string text;  // the text with every element removed
};
SpokenMarkup ParseSpokenMarkup(const std::string& markupUtf8);
