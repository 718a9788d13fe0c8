#include "platform/qt/AlsaSound.h"

#include <alsa/asoundlib.h>
#include <cstdarg>

// ALSA prints to stderr when there is no sound card; a missing device is a
// normal state here (servers, virtual machines), so its chatter is silenced.
static void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

static void SilenceAlsaOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsaErrors); });
}

bool PlayPcmBlocking(const PcmSound& sound, const std::function<bool()>& keepGoing)
{
    if (sound.channels < 1 || sound.sampleRate <= 0 || sound.samples.empty())
        return true;
    SilenceAlsaOnce();
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0)
        return false;
    // 100 ms of buffer: small enough that cutting a sound off is prompt.
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                           static_cast<unsigned>(sound.channels), static_cast<unsigned>(sound.sampleRate), 1,
                           100000) < 0) {
        snd_pcm_close(pcm);
        return false;
    }
    const std::size_t chunkFrames = static_cast<std::size_t>(sound.sampleRate / 100);
    const std::size_t total = sound.Frames();
    std::size_t done = 0;
    bool cut = false;
    while (done < total) {
        if (keepGoing && !keepGoing()) {
            cut = true;
            break;
        }
        std::size_t n = std::min(chunkFrames, total - done);
        snd_pcm_sframes_t w =
            snd_pcm_writei(pcm, sound.samples.data() + done * static_cast<std::size_t>(sound.channels), n);
        if (w < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(w), 1) < 0)
                break;
            continue;
        }
        done += static_cast<std::size_t>(w);
    }
    if (cut)
        snd_pcm_drop(pcm);
    else
        snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
    return true;
}

AlsaSoundPlayer::AlsaSoundPlayer() : worker_([this] { Run(); }) {}

AlsaSoundPlayer::~AlsaSoundPlayer()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        ++generation_;
    }
    wake_.notify_all();
    worker_.join();
}

void AlsaSoundPlayer::Play(const std::filesystem::path& waveFile)
{
    {
        std::lock_guard lock(mutex_);
        pending_ = waveFile;
        hasPending_ = true;
        ++generation_;  // cuts off the sound still playing
    }
    wake_.notify_all();
}

void AlsaSoundPlayer::Run()
{
    for (;;) {
        std::filesystem::path file;
        unsigned generation;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || hasPending_; });
            if (stopping_)
                return;
            file = pending_;
            hasPending_ = false;
            generation = generation_;
        }
        auto sound = ReadWaveFile(file);
        if (!sound)
            continue;  // a missing or unreadable file plays nothing
        PlayPcmBlocking(*sound, [&] { return generation_ == generation; });
    }
}
