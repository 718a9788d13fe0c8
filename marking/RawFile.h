#pragma once
// The marking raw file "*.yj": roster, exam record, grid filters and records
// as their memory images, little-endian, no header. Its length is
// 287775 + 3420 * recordCount bytes.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "marking/SessionState.h"

namespace raw_file {
inline constexpr std::size_t RosterOffset = 0;
inline constexpr std::size_t ExamOffset = 283168;
inline constexpr std::size_t GradeFilterOffset = 287756;
inline constexpr std::size_t ClassFilterOffset = 287767;
inline constexpr std::size_t RecordCountOffset = 287771;
inline constexpr std::size_t RecordsOffset = 287775;
inline constexpr std::size_t RecordSize = 3420;
inline constexpr const char* Folder = "阅卷原始文件";
inline constexpr const char* Extension = ".yj";
inline constexpr const char* MarkerFile = "biaoji.bj";
inline constexpr const char* OpenFailed = "打开阅卷原始文件失败！";
inline constexpr const char* SaveFailed = "保存阅卷原始文件失败！";

inline constexpr std::size_t FileSize(int recordCount) { return RecordsOffset + RecordSize * recordCount; }
} // namespace raw_file

// The file's bytes for a session.
std::string EncodeMarkingFile(const StudentRoster& roster, const ExamSetup& exam, const MarkingSession& session);

// Checks the whole image and only then replaces roster, exam record, filters
// and records of `state` (slots behind the last record are zeroed). A file
// shorter or longer than its record count requires, a record count outside
// 0..5000, counts of the roster or the exam record out of range, or a text
// without its terminator are refused with `message` (UTF-8) and `state`
// unchanged. Template, flags and rescorePending are not touched.
[[nodiscard]] bool DecodeMarkingFile(std::string_view bytes, MarkingSessionState& state, std::string& message);

// True when `file` is a regular file laid out as a marking raw file (its
// length is the one its record count requires); reads 4 bytes, not the file.
bool LooksLikeMarkingFile(const std::filesystem::path& file);

// programFolder + "阅卷原始文件/" + examName + subjectName + ".yj". Empty with
// `message` when the name is empty or cannot be a file name (a "/" in it).
std::filesystem::path MarkingFilePath(const std::filesystem::path& programFolder, const ExamSetup& exam,
                                      std::string* message = nullptr);

struct MarkingFileResult {
    bool ok = false;
    std::string message;  // UTF-8, why it failed
    std::filesystem::path path;
    // Opening only: the template named by the exam record, and why it was not loaded.
    bool templateLoaded = false;
    std::string templateMessage;
    // Opening only: the cards a killed `mark` run left in its journal, now in
    // the session (it then has unsaved changes), and the size and hash of the
    // bytes read, which a journal started on this file continues.
    int journalCards = 0;
    std::uint64_t fileSize = 0;
    std::uint64_t fileHash = 0;
};

// Writes the session to `file` atomically (temporary file, then rename): a
// failed save leaves any earlier file as it was. Changes nothing in `state`.
MarkingFileResult SaveMarkingFileTo(const MarkingSessionState& state, const std::filesystem::path& file);

// Saves under MarkingFilePath, creating "阅卷原始文件/" when missing; on
// success clears unsavedChanges and creates the marker file "biaoji.bj" (one
// byte 1) when it does not exist yet. On failure unsavedChanges stays set and
// no marker file is made. The page checks that precede a save are the caller's.
MarkingFileResult SaveMarkingFile(MarkingSessionState& state, const std::filesystem::path& programFolder);

// Reads `file` into `state` (DecodeMarkingFile). On success the template name
// becomes the exam record's cardName and, when `programFolder` is not empty,
// that template is loaded with LoadCardTemplate; a missing template is
// reported in templateMessage and does not fail the open (the template is
// then cleared: the one before belongs to another card). Clears
// unsavedChanges (unless a journal's cards were replayed), sets
// openedFromFile and rescorePending false. The records are not re-scored.
MarkingFileResult OpenMarkingFile(MarkingSessionState& state, const std::filesystem::path& file,
                                  const std::filesystem::path& programFolder = {});

// The window's recovery copy of an unsaved session: written beside the raw
// file it will be saved as ("期中数学.yj" → "期中数学.yj.recover") after every
// accepted card, removed when the session is saved or deliberately dropped,
// offered at the next start when a crash or a power cut left it behind.
namespace raw_file {
inline constexpr const char* RecoveryExtension = ".recover";
} // namespace raw_file
std::filesystem::path RecoveryCopyPath(const std::filesystem::path& rawFile);
// Writes the session atomically as the recovery copy of MarkingFilePath; false
// when the session has no file name yet or the write failed.
bool WriteRecoveryCopy(const MarkingSessionState& state, const std::filesystem::path& programFolder);
// Removes the recovery copy of MarkingFilePath (when there is one).
void RemoveRecoveryCopy(const MarkingSessionState& state, const std::filesystem::path& programFolder);
// Recovery copies in "阅卷原始文件/", in name order.
std::vector<std::filesystem::path> FindRecoveryCopies(const std::filesystem::path& programFolder);

// True when programFolder + "biaoji.bj" exists (a raw file was saved before).
bool MarkingFileEverSaved(const std::filesystem::path& programFolder);
