#include <cmath>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "platform/WaveFile.h"
#include "platform/qt/AlsaSound.h"
#include "platform/qt/EspeakVoice.h"

namespace {

double Rms(const PcmSound& s)
{
    double sum = 0;
    for (int16_t v : s.samples)
        sum += double(v) * v;
    return s.samples.empty() ? 0 : std::sqrt(sum / double(s.samples.size()));
}

TEST(Speech, RateRuleDoublesOffWindowsNtSix)
{
    EXPECT_EQ(VoiceRateFor({2, 6}, 5), 5);
    EXPECT_EQ(VoiceRateFor({2, 10}, 5), 5);
    EXPECT_EQ(VoiceRateFor({2, 5}, 5), 10);
    EXPECT_EQ(VoiceRateFor(CurrentOsVersion(), 5), 10);
}

TEST(Speech, MarkupIsParsedIntoLanguageRateAndText)
{
    SpokenMarkup m = ParseSpokenMarkup(BuildSpokenMarkup("张三 答题卡已阅"));
    EXPECT_EQ(m.langId, 0x804);
    EXPECT_EQ(m.rateSteps, 1);
    EXPECT_EQ(m.text, "张三 答题卡已阅");
    EXPECT_EQ(ParseSpokenMarkup("a < b").text, "a < b");
    EXPECT_EQ(ParseSpokenMarkup("<rate speed=\"-3\">x</rate>").rateSteps, -3);
}

TEST(Speech, SpeakPromptWaitsThenHandsTheVoiceTheExactTextAndRate)
{
    GuiFixture fx;
    fx.WriteFile("YJSet.dat", std::string("\1\0", 2) + std::string("\xd0\x07\0\0", 4) +
                                  std::string("\0\0\x80\x3f", 4) + std::string(4, '\0') +
                                  std::string("\5\0\0\0", 4));
    TestMainForm& f = fx.Start();
    ASSERT_NE(f.Voice, nullptr);
    EXPECT_EQ(f.YJSet.SpeechRate, 5);
    f.StatusText = "李四：准考证号不在学生名单中";
    f.SpeakPrompt();
    EXPECT_EQ(fx.voices.log, (std::vector<std::string>{
                                 "sleep 500", "rate 10",
                                 "speak <lang langid=\"804\"><rate speed=\"1\">李四：准考证号不在学生名单中</rate></lang>"}));

    fx.voices.log.clear();
    f.YJSet.VoicePrompt = 0;
    f.SpeakPrompt();
    EXPECT_TRUE(fx.voices.log.empty());
}

TEST(Speech, PromptSoundsAreTheThreeWaveFiles)
{
    GuiFixture fx;
    TestMainForm& f = fx.Start();
    f.PlayPromptSound(f.PromptSoundPath(PromptSoundKind::Success));
    f.PlayPromptSound(f.PromptSoundPath(PromptSoundKind::Warning));
    f.PlayPromptSound(f.PromptSoundPath(PromptSoundKind::Wrong));
    ASSERT_EQ(fx.sound.played.size(), 3u);
    EXPECT_EQ(fx.sound.played[0], fx.home / "wave" / "success.wav");
    EXPECT_EQ(fx.sound.played[1], fx.home / "wave" / "warning.wav");
    EXPECT_EQ(fx.sound.played[2], fx.home / "wave" / "wrong.wav");
}

TEST(Speech, MandarinIsSynthesisedAndFasterRatesAreShorter)
{
    auto voice = EspeakVoice::Create();
    ASSERT_NE(voice, nullptr) << "espeak-ng with the Mandarin voice is a dependency";
    const std::string markup = BuildSpokenMarkup("请点连接摄像头按钮");
    voice->SetRate(VoiceRateFor(CurrentOsVersion(), 1));
    PcmSound slow = voice->Synthesize(markup);
    voice->SetRate(VoiceRateFor(CurrentOsVersion(), 10));
    PcmSound fast = voice->Synthesize(markup);
    EXPECT_GT(slow.sampleRate, 8000);
    EXPECT_GT(slow.Frames(), std::size_t(slow.sampleRate / 2));  // nine syllables take more than half a second
    EXPECT_GT(Rms(slow), 300.0);
    EXPECT_GT(Rms(fast), 300.0);
    EXPECT_LT(double(fast.Frames()), 0.7 * double(slow.Frames()));
}

TEST(Speech, ShippedPromptSoundsAreShortDistinctWaves)
{
    const std::filesystem::path wave = std::filesystem::path(SCORIVO_SOURCE_DIR) / "data" / "wave";
    std::vector<PcmSound> sounds;
    for (const char* name : {"success.wav", "warning.wav", "wrong.wav"}) {
        auto s = ReadWaveFile(wave / name);
        ASSERT_TRUE(s) << name;
        EXPECT_GT(Rms(*s), 1000.0) << name;
        double seconds = double(s->Frames()) / s->sampleRate;
        EXPECT_GT(seconds, 0.15) << name;
        EXPECT_LT(seconds, 1.2) << name;
        sounds.push_back(*s);
    }
    EXPECT_NE(sounds[0].samples, sounds[1].samples);
    EXPECT_NE(sounds[1].samples, sounds[2].samples);
    EXPECT_NE(sounds[0].samples, sounds[2].samples);
}

TEST(Speech, WaveFilesRoundTripAndBrokenOnesAreRefused)
{
    PcmSound s;
    s.sampleRate = 22050;
    s.channels = 1;
    s.samples = {0, 1000, -1000, 32767, -32768};
    std::string bytes = EncodeWave(s);
    auto back = DecodeWave(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->samples, s.samples);
    EXPECT_EQ(back->sampleRate, 22050);
    EXPECT_FALSE(DecodeWave(bytes.substr(0, bytes.size() - 3)));  // data chunk cut short
    EXPECT_FALSE(DecodeWave("RIFF"));
}

TEST(Speech, PlayerIsSilentForAMissingFile)
{
    AlsaSoundPlayer player;
    player.Play("/nonexistent/wave/success.wav");
    player.Play("/nonexistent/wave/wrong.wav");  // cuts off the first
}

} // namespace
