#pragma once
// Prompt sounds through ALSA's "default" device, on a thread of their own.

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/PromptAudio.h"
#include "platform/WaveFile.h"

class AlsaSoundPlayer final : public SoundPlayer {
public:
    AlsaSoundPlayer();
    ~AlsaSoundPlayer() override;
    AlsaSoundPlayer(const AlsaSoundPlayer&) = delete;
    AlsaSoundPlayer& operator=(const AlsaSoundPlayer&) = delete;

    void Play(const std::filesystem::path& waveFile) override;

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::filesystem::path pending_;
    bool hasPending_ = false;
    bool stopping_ = false;
    std::atomic<unsigned> generation_{0};
    std::thread worker_;
};

// Plays `sound` to the end on the calling thread. False when no audio device
// could be opened (nothing is played then). `keepGoing`, when given, is asked
// between 10 ms chunks; false cuts the sound off.
bool PlayPcmBlocking(const PcmSound& sound, const std::function<bool()>& keepGoing = {});
