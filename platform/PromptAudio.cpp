#include "platform/PromptAudio.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <thread>

OsVersionRecord CurrentOsVersion()
{
    return OsVersionRecord{};
}

int VoiceRateFor(const OsVersionRecord& version, int speechRate)
{
    // The settings slider only offers 1 .. 10, but the file holds any four
    // bytes: 0x7FFFFFFF doubled overflowed.
    speechRate = std::clamp(speechRate, 1, 10);
    if (version.platformId == 2 && version.majorVersion >= 6)
        return speechRate;
    return 2 * speechRate;
}

std::string BuildSpokenMarkup(const std::string& statusTextUtf8)
{
    return "<lang langid=\"804\"><rate speed=\"1\">" + statusTextUtf8 + "</rate></lang>";
}

void SpeakPrompt(SpeechVoice& voice, const std::string& statusTextUtf8, int speechRate,
                 const OsVersionRecord& version, const std::function<void(std::chrono::milliseconds)>& sleep)
{
    if (sleep)
        sleep(kSpeechLeadIn);
    else
        std::this_thread::sleep_for(kSpeechLeadIn);
    // The whole text is spoken: a fixed 100-unit buffer would cut long
    // prompts (a student's name with a long message) mid-word.
    std::string markup = BuildSpokenMarkup(statusTextUtf8);
    voice.SetRate(VoiceRateFor(version, speechRate));
    voice.Speak(markup);
}

// Value of `name="..."` inside one tag, or nullopt-like empty view.
static bool AttributeValue(std::string_view tag, std::string_view name, std::string_view& value)
{
    std::size_t at = 0;
    while ((at = tag.find(name, at)) != std::string_view::npos) {
        bool startsWord = at == 0 || tag[at - 1] == ' ' || tag[at - 1] == '\t';
        std::size_t eq = at + name.size();
        while (eq < tag.size() && tag[eq] == ' ')
            ++eq;
        if (startsWord && eq < tag.size() && tag[eq] == '=') {
            std::size_t q = eq + 1;
            while (q < tag.size() && tag[q] == ' ')
                ++q;
            if (q < tag.size() && (tag[q] == '"' || tag[q] == '\'')) {
                std::size_t end = tag.find(tag[q], q + 1);
                if (end != std::string_view::npos) {
                    value = tag.substr(q + 1, end - q - 1);
                    return true;
                }
            }
        }
        at += name.size();
    }
    return false;
}

static std::string_view TagName(std::string_view tag)
{
    std::size_t end = tag.find_first_of(" \t/");
    return tag.substr(0, end);
}

SpokenMarkup ParseSpokenMarkup(const std::string& markupUtf8)
{
    SpokenMarkup out;
    std::string_view s = markupUtf8;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] != '<') {
            std::size_t next = s.find('<', i);
            if (next == std::string_view::npos)
                next = s.size();
            out.text.append(s.substr(i, next - i));
            i = next;
            continue;
        }
        std::size_t close = s.find('>', i);
        if (close == std::string_view::npos) {  // a lone '<' is text
            out.text.append(s.substr(i));
            break;
        }
        std::string_view tag = s.substr(i + 1, close - i - 1);
        std::string_view value;
        if (TagName(tag) == "lang" && AttributeValue(tag, "langid", value))
            out.langId = static_cast<int>(std::strtol(std::string(value).c_str(), nullptr, 16));
        else if (TagName(tag) == "rate" && (AttributeValue(tag, "speed", value) || AttributeValue(tag, "absspeed", value)))
            out.rateSteps += std::atoi(std::string(value).c_str());
        i = close + 1;
    }
    return out;
}
