// Fuzz entries for the readers of the program's files: whatever the bytes, a
// reader either refuses or yields a record within its capacities that writes
// back to the same bytes.
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "app/MarkingSettings.h"
#include "fuzz/FuzzEntries.h"
#include "marking/RawFile.h"
#include "marking/SessionState.h"
#include "platform/Files.h"
#include "platform/Gbk.h"
#include "platform/PromptAudio.h"
#include "recognition/CardLayout.h"
#include "recognition/CardTemplate.h"
#include "students/StudentFile.h"
#include "tests/support/TempDir.h"

namespace fuzz {

namespace {

std::string_view Bytes(const uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// A written file, or nothing to test.
bool WriteScratch(const std::filesystem::path& path, std::string_view bytes)
{
    return files::WriteAll(path, bytes);
}

std::string ReadFile(const std::filesystem::path& path)
{
    auto bytes = files::ReadAll(path);
    return bytes ? *bytes : std::string();
}

void CheckRoster(const StudentRoster& roster)
{
    Check(roster.studentCount >= 0 && roster.studentCount <= StudentRoster::MaxStudents);
    Check(ValidateRoster(roster).empty());
}

// Student files the "base.dat" entry can name: the same for every process, so
// a seed naming one works in every run.
std::filesystem::path RosterFolder()
{
    return std::filesystem::temp_directory_path() / "scorivo-fuzz-rosters";
}

std::string SmallRosterFile()
{
    auto r = std::make_unique<StudentRoster>();
    r->Reset();
    for (int i = 0; i < 4; ++i) {
        StudentEntry s{};
        s.admissionNumber.SetTruncated("12345678" + std::to_string(i));
        s.name.SetUtf8Truncated("学生");
        if (!r->AppendStudent(s))
            std::abort();
    }
    return EncodeStudentFile(*r);
}

void EnsureRosterFolder()
{
    static bool done = false;
    if (done)
        return;
    std::error_code ec;
    std::filesystem::create_directories(RosterFolder(), ec);
    const std::string good = SmallRosterFile();
    (void)WriteScratch(RosterFolder() / files::FromUtf8("上次.xs"), good);
    (void)WriteScratch(RosterFolder() / "broken.xs", good.substr(0, good.size() - 7));
    done = true;
}

} // namespace

std::filesystem::path ScratchFile(const std::string& extension)
{
    // One folder per process, removed when the process ends, so that a run
    // leaves nothing behind in the temporary folder.
    static const TempDir folder;
    return folder / ("scratch" + extension);
}

int TemplateFile(const uint8_t* data, std::size_t size)
{
    const auto path = ScratchFile(".dat");
    if (!WriteScratch(path, Bytes(data, size)))
        return 0;
    CardTemplate t;
    t.Clear();
    std::string message;
    if (LoadCardTemplateFile(path, t, message)) {
        Check(size >= sizeof(CardTemplate));  // the first 600 bytes are the record
        Check(ValidateCardTemplate(t).empty());
        // Every question of an accepted template can be laid out for both types.
        for (int q = 0; q < t.QuestionCount; ++q)
            for (int ab = 0; ab < 2; ++ab) {
                QuestionLayout l = LayoutQuestion(t, ab, q);
                Check(!l.placed || (l.options >= 1 && l.options <= card_limits::MaxOptions));
            }
    } else {
        Check(!message.empty());
    }
    return 0;
}

int StudentFile(const uint8_t* data, std::size_t size)
{
    const auto path = ScratchFile(".xs");
    if (!WriteScratch(path, Bytes(data, size)))
        return 0;
    auto roster = std::make_unique<StudentRoster>();
    roster->Reset();
    std::string error;
    if (ReadStudentFile(path, *roster, &error)) {
        CheckRoster(*roster);
        Check(EncodeStudentFile(*roster).size() ==
              student_file::HeaderSize + student_file::StudentSize * static_cast<std::size_t>(roster->studentCount));
    } else {
        Check(!error.empty());
        Check(roster->studentCount == 0);  // a refused file leaves the roster as it was
    }
    return 0;
}

int BaseDat(const uint8_t* data, std::size_t size)
{
    EnsureRosterFolder();
    const auto home = ScratchFile(".home");
    std::error_code ec;
    std::filesystem::create_directories(home / files::FromUtf8("学生信息文件"), ec);
    static const bool defaultWritten =
        WriteScratch(home / files::FromUtf8("学生信息文件") / files::FromUtf8("测试.xs"), SmallRosterFile());
    if (!defaultWritten || !WriteScratch(home / "base.dat", Bytes(data, size)))
        return 0;
    auto roster = std::make_unique<StudentRoster>();
    StartRosterResult r = LoadStartRoster(home, *roster);
    CheckRoster(*roster);
    if (r.currentFile.empty())
        Check(roster->studentCount == 0);
    else
        Check(roster->studentCount > 0);
    // Remembering the file again writes a record of the fixed size.
    if (!r.currentFile.empty()) {
        RememberStudentFile(home, r.currentFile);
        const std::string written = ReadFile(home / "base.dat");
        Check(written.empty() || written.size() == student_file::BaseDatSize);
    }
    return 0;
}

int SettingsFile(const uint8_t* data, std::size_t size)
{
    const auto path = ScratchFile(".set");
    if (!WriteScratch(path, Bytes(data, size)))
        return 0;
    MarkingSettings s;
    const MarkingSettings defaults;
    if (LoadMarkingSettings(s, path)) {
        Check(size >= static_cast<std::size_t>(yjset_file::ShortSize));
        // What was read is written back to the same bytes.
        const auto back = ScratchFile(".set2");
        if (SaveMarkingSettings(s, back)) {
            const std::string written = ReadFile(back);
            Check(written.size() == static_cast<std::size_t>(yjset_file::Size));
            // The 10-, 14- and 18-byte forms: a partly present field is not read.
            const std::size_t loaded = size >= yjset_file::Size         ? yjset_file::Size
                                       : size >= yjset_file::MiddleSize ? yjset_file::MiddleSize
                                                                        : yjset_file::ShortSize;
            Check(std::memcmp(written.data(), data, loaded) == 0);
        }
        // The rate goes to the voice whatever the file held.
        const int rate = VoiceRateFor({2, 5}, s.SpeechRate);
        Check(rate >= 2 && rate <= 20);
    } else {
        Check(s.VoicePrompt == defaults.VoicePrompt && s.IgnoreSubjectCheck == defaults.IgnoreSubjectCheck &&
              s.AutoDelay == defaults.AutoDelay && s.AutoTolerance == defaults.AutoTolerance &&
              s.SavePictures == defaults.SavePictures && s.SpeechRate == defaults.SpeechRate);
    }
    return 0;
}

int RawFile(const uint8_t* data, std::size_t size)
{
    // One state for the whole run: it is 17 MB.
    static auto state = NewMarkingSessionState();
    std::string message;
    if (DecodeMarkingFile(Bytes(data, size), *state, message)) {
        Check(state->session.recordCount >= 0 && state->session.recordCount <= MarkingSession::MaxRecords);
        Check(size == raw_file::FileSize(state->session.recordCount));
        CheckRoster(state->roster);
        Check(EncodeMarkingFile(state->roster, state->exam, state->session) == Bytes(data, size));
    } else {
        Check(!message.empty());
    }
    return 0;
}

std::vector<std::string> TemplateSeeds(const std::filesystem::path& dataFolder)
{
    std::vector<std::string> seeds;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dataFolder / files::FromUtf8("模板文件"), ec))
        if (entry.path().extension() == ".dat")
            seeds.push_back(ReadFile(entry.path()));
    CardTemplate t;
    t.Clear();
    t.LineLength = t.LineDistance = 20;
    t.CellWidth = t.CellHeight = 1;
    t.QuestionCount = 30;
    t.DefaultOptions = 4;
    t.Sec1Columns = 3;
    t.Sec1Rows = 2;
    t.Sec2Columns = 3;
    t.BlockColPitch = 5;
    t.BlockRowPitch = 6;
    seeds.emplace_back(reinterpret_cast<const char*>(&t), sizeof t);
    return seeds;
}

std::vector<std::string> StudentSeeds(const std::filesystem::path& dataFolder)
{
    return {ReadFile(dataFolder / files::FromUtf8("学生信息文件") / files::FromUtf8("测试.xs")), SmallRosterFile()};
}

std::vector<std::string> BaseDatSeeds(const std::filesystem::path&)
{
    std::vector<std::string> seeds;
    for (const char* name : {"上次.xs", "broken.xs", "gone.xs"}) {
        std::string record(student_file::BaseDatSize, '\0');
        auto gbkPath = gbk::FromUtf8(files::ToUtf8(RosterFolder() / files::FromUtf8(name)));
        if (gbkPath && gbkPath->size() < record.size())
            std::memcpy(record.data(), gbkPath->data(), gbkPath->size());
        seeds.push_back(record);
    }
    seeds.emplace_back(student_file::BaseDatSize, '\0');
    return seeds;
}

std::vector<std::string> SettingsSeeds()
{
    MarkingSettings s;
    s.VoicePrompt = 1;
    s.AutoDelay = 1500;
    s.AutoTolerance = 1.5f;
    s.SavePictures = 1;
    s.SpeechRate = 7;
    const auto path = ScratchFile(".set");
    std::string full = SaveMarkingSettings(s, path) ? ReadFile(path) : std::string(yjset_file::Size, '\0');
    return {full, full.substr(0, yjset_file::MiddleSize), full.substr(0, yjset_file::ShortSize)};
}

std::vector<std::string> RawFileSeeds(const std::filesystem::path& dataFolder)
{
    auto state = NewMarkingSessionState();
    std::vector<std::string> seeds;
    seeds.push_back(EncodeMarkingFile(state->roster, state->exam, state->session));
    const std::string roster = StudentSeeds(dataFolder).front();
    const auto path = ScratchFile(".xs");
    if (WriteScratch(path, roster) && ReadStudentFile(path, state->roster, nullptr)) {
        state->session.recordCount = 2;
        state->session.records[1].readCount = 1;
        seeds.push_back(EncodeMarkingFile(state->roster, state->exam, state->session));
    }
    return seeds;
}

} // namespace fuzz
