#include "marking/RawFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <system_error>

#include "marking/MarkingJournal.h"
#include "platform/Files.h"

static_assert(std::endian::native == std::endian::little, "the file holds little-endian memory images");
static_assert(raw_file::ExamOffset == raw_file::RosterOffset + sizeof(StudentRoster));
static_assert(raw_file::GradeFilterOffset == raw_file::ExamOffset + sizeof(ExamSetup));
static_assert(raw_file::ClassFilterOffset == raw_file::GradeFilterOffset + sizeof(MarkingSession::gradeFilter));
static_assert(raw_file::RecordCountOffset == raw_file::ClassFilterOffset + sizeof(MarkingSession::classFilter));
static_assert(raw_file::RecordsOffset == raw_file::RecordCountOffset + sizeof(int32_t));
static_assert(raw_file::RecordSize == sizeof(MarkingRecord));
static_assert(raw_file::FileSize(1) == 291195);

namespace fs = std::filesystem;

std::string EncodeMarkingFile(const StudentRoster& roster, const ExamSetup& exam, const MarkingSession& session)
{
    int count = std::clamp(session.recordCount, 0, MarkingSession::MaxRecords);
    std::string bytes(raw_file::FileSize(count), '\0');
    char* out = bytes.data();
    std::memcpy(out + raw_file::RosterOffset, &roster, sizeof roster);
    std::memcpy(out + raw_file::ExamOffset, &exam, sizeof exam);
    std::memcpy(out + raw_file::GradeFilterOffset, session.gradeFilter.bytes, sizeof session.gradeFilter.bytes);
    std::memcpy(out + raw_file::ClassFilterOffset, session.classFilter.bytes, sizeof session.classFilter.bytes);
    int32_t storedCount = count;
    std::memcpy(out + raw_file::RecordCountOffset, &storedCount, sizeof storedCount);
    std::memcpy(out + raw_file::RecordsOffset, session.records, raw_file::RecordSize * static_cast<std::size_t>(count));
    return bytes;
}

bool DecodeMarkingFile(std::string_view bytes, MarkingSessionState& state, std::string& message)
{
    if (bytes.size() < raw_file::RecordsOffset) {
        message = "文件不完整（只有" + std::to_string(bytes.size()) + "字节），不是有效的阅卷原始文件。";
        return false;
    }
    int32_t count = 0;
    std::memcpy(&count, bytes.data() + raw_file::RecordCountOffset, sizeof count);
    if (count < 0 || count > MarkingSession::MaxRecords) {
        message = "文件中的阅卷记录数（" + std::to_string(count) + "）超出范围（0-5000），文件已损坏。";
        return false;
    }
    if (bytes.size() < raw_file::FileSize(count)) {
        message = "文件比其中" + std::to_string(count) + "条阅卷记录所需的短，文件不完整。";
        return false;
    }
    if (bytes.size() > raw_file::FileSize(count)) {
        message = "文件比其中" + std::to_string(count) + "条阅卷记录所需的长，文件已损坏。";
        return false;
    }

    auto roster = std::make_unique<StudentRoster>();
    std::memcpy(roster.get(), bytes.data() + raw_file::RosterOffset, sizeof(StudentRoster));
    if (std::string why = ValidateRoster(*roster); !why.empty()) {
        message = "学生信息有误：" + why;
        return false;
    }
    ExamSetup exam;
    std::memcpy(&exam, bytes.data() + raw_file::ExamOffset, sizeof exam);
    if (std::string why = ValidateExamSetup(exam); !why.empty()) {
        message = why;
        return false;
    }
    decltype(MarkingSession::gradeFilter) gradeFilter;
    decltype(MarkingSession::classFilter) classFilter;
    std::memcpy(gradeFilter.bytes, bytes.data() + raw_file::GradeFilterOffset, sizeof gradeFilter.bytes);
    std::memcpy(classFilter.bytes, bytes.data() + raw_file::ClassFilterOffset, sizeof classFilter.bytes);
    if (!gradeFilter.Terminated() || !classFilter.Terminated()) {
        message = "年级或班级筛选条件中有没有结束符的文字，文件已损坏。";
        return false;
    }
    const char* records = bytes.data() + raw_file::RecordsOffset;
    for (int i = 0; i < count; ++i) {
        MarkingRecord r;
        std::memcpy(&r, records + raw_file::RecordSize * static_cast<std::size_t>(i), sizeof r);
        if (!r.TextsTerminated()) {
            message = "第" + std::to_string(i + 1) + "条阅卷记录中有没有结束符的文字，文件已损坏。";
            return false;
        }
    }

    // Everything checked: now replace the session.
    std::memcpy(&state.roster, roster.get(), sizeof(StudentRoster));
    state.exam = exam;
    MarkingSession& s = state.session;
    s.gradeFilter = gradeFilter;
    s.classFilter = classFilter;
    std::memcpy(s.records, records, raw_file::RecordSize * static_cast<std::size_t>(count));
    std::memset(s.records + count, 0, sizeof(MarkingRecord) * static_cast<std::size_t>(MarkingSession::MaxRecords - count));
    s.recordCount = count;
    return true;
}

bool LooksLikeMarkingFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::error_code ec;
    if (!in || !fs::is_regular_file(file, ec))
        return false;
    const auto size = fs::file_size(file, ec);
    int32_t count = -1;
    if (ec || size < raw_file::RecordsOffset || !in.seekg(raw_file::RecordCountOffset) ||
        !in.read(reinterpret_cast<char*>(&count), sizeof count))
        return false;
    return count >= 0 && count <= MarkingSession::MaxRecords && size == raw_file::FileSize(count);
}

fs::path MarkingFilePath(const fs::path& programFolder, const ExamSetup& exam, std::string* message)
{
    auto refuse = [&](const char* why) {
        if (message)
            *message = why;
        return fs::path();
    };
    if (exam.examName.Empty())
        return refuse("请先在考试信息设置里填写本次考试名称，再保存阅卷原始文件。");
    std::string name = exam.examName.Utf8() + exam.subjectName.Utf8() + raw_file::Extension;
    // A "/" would turn the exam name into a path into other folders.
    if (name.find('/') != std::string::npos)
        return refuse(kSlashInFileNameText);
    return programFolder / files::FromUtf8(raw_file::Folder) / files::FromUtf8(name);
}

MarkingFileResult SaveMarkingFileTo(const MarkingSessionState& state, const fs::path& file)
{
    MarkingFileResult result;
    result.path = file;
    std::string error;
    if (!files::WriteAtomic(file, EncodeMarkingFile(state.roster, state.exam, state.session), &error)) {
        result.message = std::string(raw_file::SaveFailed) + "\n" + files::ToUtf8(file) + "\n" + error;
        return result;
    }
    result.ok = true;
    return result;
}

MarkingFileResult SaveMarkingFile(MarkingSessionState& state, const fs::path& programFolder)
{
    MarkingFileResult result;
    fs::path file = MarkingFilePath(programFolder, state.exam, &result.message);
    if (file.empty())
        return result;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);  // a failure shows in the write below
    result = SaveMarkingFileTo(state, file);
    if (!result.ok)
        return result;
    state.unsavedChanges = false;
    fs::path marker = programFolder / raw_file::MarkerFile;
    if (!fs::exists(marker, ec))
        (void)files::WriteAll(marker, std::string_view("\x01", 1));
    return result;
}

MarkingFileResult OpenMarkingFile(MarkingSessionState& state, const fs::path& file, const fs::path& programFolder)
{
    MarkingFileResult result;
    result.path = file;
    std::string why;
    auto bytes = files::ReadAll(file, &why, raw_file::FileSize(MarkingSession::MaxRecords));
    if (!bytes) {
        // Missing, unreadable or no regular file: the teacher needs to know which.
        result.message = std::string(raw_file::OpenFailed) + "\n" + why;
        return result;
    }
    if (!DecodeMarkingFile(*bytes, state, why)) {
        result.message = std::string(raw_file::OpenFailed) + "\n" + why;
        return result;
    }
    result.fileSize = bytes->size();
    result.fileHash = ContentHash(*bytes);
    result.journalCards = ReplayMarkingJournal(file, result.fileSize, result.fileHash, state);
    state.templateName = state.exam.cardName.Utf8();
    if (!programFolder.empty()) {
        result.templateLoaded =
            LoadCardTemplate(programFolder, state.templateName, state.cardTemplate, result.templateMessage);
        // The template in memory is the card before, often another card: this
        // exam's cards read in its cells would be marked wrong. Better none.
        if (!result.templateLoaded)
            state.cardTemplate.Clear();
    }
    state.session.rescorePending = false;
    state.unsavedChanges = result.journalCards > 0;
    state.openedFromFile = true;
    result.ok = true;
    return result;
}

bool MarkingFileEverSaved(const fs::path& programFolder)
{
    std::error_code ec;
    return fs::exists(programFolder / raw_file::MarkerFile, ec);
}

fs::path RecoveryCopyPath(const fs::path& rawFile)
{
    fs::path copy = rawFile;
    copy += raw_file::RecoveryExtension;
    return copy;
}

bool WriteRecoveryCopy(const MarkingSessionState& state, const fs::path& programFolder)
{
    const fs::path file = MarkingFilePath(programFolder, state.exam);
    if (file.empty())
        return false;
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    return SaveMarkingFileTo(state, RecoveryCopyPath(file)).ok;
}

void RemoveRecoveryCopy(const MarkingSessionState& state, const fs::path& programFolder)
{
    const fs::path file = MarkingFilePath(programFolder, state.exam);
    std::error_code ec;
    if (!file.empty())
        fs::remove(RecoveryCopyPath(file), ec);
}

std::vector<fs::path> FindRecoveryCopies(const fs::path& programFolder)
{
    std::vector<fs::path> found;
    const std::string suffix = std::string(raw_file::Extension) + raw_file::RecoveryExtension;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(programFolder / files::FromUtf8(raw_file::Folder), ec)) {
        const std::string name = files::ToUtf8(entry.path().filename());
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            entry.is_regular_file(ec))
            found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}
