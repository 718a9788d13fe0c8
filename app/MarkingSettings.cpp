#include "app/MarkingSettings.h"

#include <cstring>
#include <string>

#include "platform/Files.h"

bool LoadMarkingSettings(MarkingSettings& s, const std::filesystem::path& path)
{
    auto bytes = files::ReadHead(path, yjset_file::Size);
    if (!bytes || bytes->size() < yjset_file::ShortSize)
        return false;
    const char* p = bytes->data();
    std::memcpy(&s.VoicePrompt, p + yjset_file::VoicePrompt, 1);
    std::memcpy(&s.IgnoreSubjectCheck, p + yjset_file::IgnoreSubjectCheck, 1);
    std::memcpy(&s.AutoDelay, p + yjset_file::AutoDelay, 4);
    std::memcpy(&s.AutoTolerance, p + yjset_file::AutoTolerance, 4);
    if (bytes->size() >= yjset_file::MiddleSize)
        std::memcpy(&s.SavePictures, p + yjset_file::SavePictures, 4);
    if (bytes->size() >= yjset_file::Size)
        std::memcpy(&s.SpeechRate, p + yjset_file::SpeechRate, 4);
    return true;
}

bool SaveMarkingSettings(const MarkingSettings& s, const std::filesystem::path& path)
{
    std::string bytes(yjset_file::Size, '\0');
    char* p = bytes.data();
    std::memcpy(p + yjset_file::VoicePrompt, &s.VoicePrompt, 1);
    std::memcpy(p + yjset_file::IgnoreSubjectCheck, &s.IgnoreSubjectCheck, 1);
    std::memcpy(p + yjset_file::AutoDelay, &s.AutoDelay, 4);
    std::memcpy(p + yjset_file::AutoTolerance, &s.AutoTolerance, 4);
    std::memcpy(p + yjset_file::SavePictures, &s.SavePictures, 4);
    std::memcpy(p + yjset_file::SpeechRate, &s.SpeechRate, 4);
    return files::WriteAtomic(path, bytes);
}
