#include "marking/Acceptance.h"

#include <cstdint>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "marking/Scoring.h"
#include "platform/NumberFormat.h"

namespace texts = acceptance_texts;

CardAcceptor::CardAcceptor(MarkingSessionState& state, const MarkingSettings& settings, PromptsCore& prompts)
    : state_(state), settings_(settings), prompts_(prompts), reading_(std::make_unique<MarkingRecord>())
{
}

bool ParseScoreDigits(std::string_view text, float& score)
{
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return false;
    std::size_t last = text.find_last_not_of(' ');
    std::string_view core = text.substr(first, last - first + 1);
    int digits = 0;
    int points = 0;
    for (char c : core) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return false;  // a blank between digits, or a column of ink without a clear row
    }
    if (digits == 0 || points > 1)
        return false;
    float value = 0;
    auto r = std::from_chars(core.data(), core.data() + core.size(), value, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != core.data() + core.size())
        return false;
    score = value;
    return true;
}

AnswerDifferences CompareAnswers(const MarkingRecord& before, const MarkingRecord& after, int questionCount)
{
    AnswerDifferences d;
    questionCount = std::clamp(questionCount, 0, MarkingRecord::MaxQuestions);
    for (int q = 0; q < questionCount; ++q) {
        std::string_view was = before.questionResults[q].answer.View();
        std::string_view now = after.questionResults[q].answer.View();
        if (was == now)
            continue;
        ++d.count;
        std::string entry = std::to_string(q + 1) + " " + std::string(was) + "->" + std::string(now);
        d.detail += entry + "\r\n";
        d.compact += entry;
        // Columns of 15 bytes, five to a line, so the question box lines them up.
        while (d.compact.size() % 15 != 0)
            d.compact += ' ';
        if (d.compact.size() % 75 == 0)
            d.compact += "\r\n";
    }
    return d;
}

// The columns acceptance reads of each digit grid.
static int AdmissionColumnsRead(const StudentRoster& roster, const CardTemplate& t)
{
    return std::clamp(roster.admissionLength, 0, std::min(t.AdmColumns, card_limits::MaxAdmColumns));
}
static int SubjectColumnsRead(const CardTemplate& t)
{
    return std::clamp(t.SubjColumns, 0, card_limits::MaxSubjColumns);
}
static int ScoreColumnsRead(const CardTemplate& t) { return std::clamp(t.ScoreColumns, 0, 4); }

// Red print is an A card, green print a B card.
static bool ColourFitsPaper(int paperType, int colour)
{
    return !((paperType == 0 && colour != CardSampler::ColourRed) ||
             (paperType == 1 && colour != CardSampler::ColourGreen));
}

static bool AllBlank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

bool CardAcceptor::AcceptReading(CardSampler& sampler, AcceptanceTexts& out)
{
    MarkingRecord& reading = *reading_;
    std::memset(&reading, 0, sizeof reading);
    const CardTemplate& t = state_.cardTemplate;
    const StudentRoster& roster = state_.roster;
    const ExamSetup& exam = state_.exam;
    MarkingSession& session = state_.session;
    out.refusal = {};
    auto refuse = [&out](std::string memo, std::string status, RefusalDetail where = {}) {
        out.memoTiShi = std::move(memo);
        out.statusText = std::move(status);
        out.refusal = where;
        return false;
    };
    // The column of a digit field that holds no digit, and why.
    auto unread = [&sampler](RefusalField field, std::string_view text, bool blankAnywhere) {
        return UnreadDigitColumn(field, text, blankAnywhere,
                                 [&sampler](int column) { return sampler.DigitColumnReason(column); });
    };

    // AB type.
    int grids = sampler.BuildSamplingGrids();
    if (grids == CardSampler::AbNotMarked)
        return refuse(texts::AbNotMarked, texts::AbNotMarked);
    if (grids == CardSampler::AbAmbiguous)
        return refuse(texts::AbAmbiguous, texts::AbAmbiguous);
    reading.paperType = sampler.AbType();

    sampler.DrawThumbnail();
    sampler.ResetGreyMode();

    // A card whose print is not its paper's colour: the camera sees the
    // colours wrong and would misread the marks.
    if (checkCardColour && IsJdTemplate(state_.templateName) &&
        !ColourFitsPaper(reading.paperType, sampler.CardColour()))
        return refuse(texts::ColourMemo, texts::ColourStatus);

    // Every area is prepared before any is read.
    sampler.PrepareDigitColumns(DigitGridKind::Admission, t.AdmColumns, 10);
    sampler.PrepareDigitColumns(DigitGridKind::Subject, t.SubjColumns, t.SubjRows);
    sampler.PrepareDigitColumns(DigitGridKind::Score, t.ScoreColumns, 10);
    sampler.PrepareAnswerBlocks();

    reading.admissionNumber.SetTruncated(
        sampler.ReadDigitColumns(DigitGridKind::Admission, AdmissionColumnsRead(roster, t), 10));
    const std::string number(reading.admissionNumber.View());
    const std::string numberUtf8 = gbk::ToUtf8(number);
    // Ink that picks no row is neither a digit nor "not filled": the number
    // cannot be known, whatever the roster or the standard answer would make of it.
    if (number.find(CardSampler::UnclearDigit) != std::string::npos)
        return refuse(texts::NumberPrefix + numberUtf8 + texts::BlankDigitMemo + texts::LightingAdvice,
                      texts::BlankDigitStatus, unread(RefusalField::AdmissionNumber, number, true));

    const int student = roster.FindStudent(number);
    if (student >= 0) {
        const StudentEntry& s = roster.students[student];
        reading.studentName = s.name;
        reading.gradeCode = s.gradeCode;
        reading.classCode = s.classCode;
        reading.gradeName.SetTruncated(roster.GradeNameOf(s.gradeCode.View()));
    }

    const int count = session.recordCount;
    if (count == 0 && !AllBlank(number))
        return refuse(texts::StandardNumberMemo, texts::StandardNumberStatus);

    const std::string standardNumber = count > 0 ? std::string(session.records[0].admissionNumber.View()) : "";
    if (count > 0 && number != standardNumber) {
        if (student >= 0) {
            const StudentEntry& s = roster.students[student];
            if (roster.gradeEnabled && s.gradeCode.View() != selection.gradeCode)
                return refuse(texts::NumberPrefix + numberUtf8 + texts::OtherGradeMemo, texts::OtherGradeStatus);
            if (roster.classEnabled && !selection.allClasses && s.classCode.View() != selection.classText)
                return refuse(texts::NumberPrefix + numberUtf8 + texts::OtherClassMemo, texts::OtherClassStatus);
        } else if (number.find(' ') != std::string::npos) {
            return refuse(texts::NumberPrefix + numberUtf8 + texts::BlankDigitMemo + texts::LightingAdvice,
                          texts::BlankDigitStatus, unread(RefusalField::AdmissionNumber, number, true));
        } else {
            return refuse(texts::NumberPrefix + numberUtf8 + texts::NotInRosterMemo, texts::NotInRosterStatus);
        }
    }
    // With the standard answer alone, a blank number is a re-read of it.
    if (count > 1 && number == standardNumber)
        return refuse(std::string(texts::MissingNumberMemo) + texts::LightingAdvice, texts::MissingNumberStatus,
                      unread(RefusalField::AdmissionNumber, number, true));

    std::string subject = sampler.ReadDigitColumns(DigitGridKind::Subject, SubjectColumnsRead(t), t.SubjRows);
    if (!settings_.IgnoreSubjectCheck && subject != exam.subjectCode.View()) {
        // A column read without a digit is the place to look; a code read
        // whole is the card's or the exam's mistake.
        RefusalDetail where = unread(RefusalField::Subject, subject, true);
        if (!where.Any())
            where = {RefusalField::Subject, -1, RefusalReason::OtherSubject};
        return refuse(texts::SubjectMemo, texts::SubjectStatus, where);
    }

    reading.subjectiveScore = 0;
    if (exam.hasSubjectiveScore) {
        float score = 0;
        const std::string digits = sampler.ReadDigitColumns(DigitGridKind::Score, ScoreColumnsRead(t), 10);
        if (!ParseScoreDigits(digits, score))
            return refuse(texts::ScoreMemo, texts::ScoreStatus, unread(RefusalField::SubjectiveScore, digits, false));
        reading.subjectiveScore = score;
    }

    const int questionCount = std::clamp(exam.questionCount, 0, MarkingRecord::MaxQuestions);
    std::vector<std::string> answers;
    if (sampler.ReadAnswers(exam, answers) == AnswersReadResult::LightingFailure)
        return refuse(texts::LightingAdvice, texts::LightingStatus, sampler.AnswersRefusal());
    for (int q = 0; q < questionCount && q < static_cast<int>(answers.size()); ++q) {
        // A record holds 9 letters; all ten options of a question marked
        // cannot be stored, and cutting a letter could turn it into the key.
        if (!reading.questionResults[q].answer.Set(answers[q]))
            return refuse("第" + std::to_string(q + 1) + "题涂写的选项过多（" + answers[q] +
                              "），答案最多只能有9个字母，请检查这道题的涂写。",
                          texts::TooManyLettersStatus);
    }

    bool differs = false;
    if (count > 0) {
        ScoreRecord(exam, session.records[0], reading);
        const int index = session.FindRecord(number, 0);
        std::string error;
        if (index < 0) {
            if (count >= MarkingSession::MaxRecords)
                return refuse(marking_messages::StoreFull, texts::StoreFullStatus);
            reading.readCount = 1;
            if (!session.AppendRecord(reading, &error))
                return refuse(error, error);
            out.memoTiShi = texts::FirstReading;
        } else {
            const MarkingRecord& before = session.records[index];
            if (before.paperType != reading.paperType)
                return refuse(texts::AbChangedMemo, texts::AbChangedStatus);
            // A count copied in from a foreign file may sit at the top: it stays there, never wraps negative.
            reading.readCount = before.readCount < INT32_MAX ? before.readCount + 1 : INT32_MAX;
            AnswerDifferences d = CompareAnswers(before, reading, questionCount);
            std::string detailText = texts::DetailHead + d.detail + texts::DetailTail;
            if (d.count > 3 && number != lastAdmission_) {
                // Many differences on a card that was not just read: more
                // likely a wrongly filled admission number than a misread.
                const std::string name = reading.studentName.Utf8();
                std::string question =
                    texts::NumberPrefix + numberUtf8 + " 姓名：" + name + "。这是此答题卡第" +
                    std::to_string(reading.readCount) + "次读入，发现不相同的答题很多，如下：\r\n \r\n" + d.compact +
                    "\r\n" + "本软件认为有可能是学生准卡证号涂错了造成的，请仔细检查当前答题卡上填写的姓名是否是 " +
                    name + "，如果不是请按 取消 按钮，" +
                    "然后先把当前答题卡放一边，等最后再将此答题卡的准卡证号修改正确后再读入；" +
                    "如果当前答题卡上填写的姓名是 " + name + "，请按 确定 按钮，然后稍微移动答题卡位置多读一次，" +
                    "防止光线等原因造成误读。确定要覆盖上一次的阅卷记录吗？";
                if (!prompts_.AskOkCancel(question))
                    return false;
                // Confirmed by the user: not a reason to stop automatic marking.
            } else if (d.count > 0) {
                differs = true;
            }
            if (!session.ReplaceRecord(index, reading, &error))
                return refuse(error, error);
            if (d.count == 0) {
                out.memoTiShi = texts::SameAgainMemo + std::to_string(reading.readCount);
                if (index == 0)
                    out.statusText = texts::SameAgainStatus;
            } else {
                out.memoTiShi = detailText;
                if (index == 0)
                    out.statusText = texts::DifferentStatus;
            }
        }
    } else {
        reading.readCount = 1;
        std::string error;
        if (!session.AppendRecord(reading, &error))
            return refuse(error, error);
        out.memoTiShi = texts::StandardReadMemo;
        out.statusText = texts::StandardReadStatus;
        std::string empty;
        for (int q = 0; q < questionCount; ++q) {
            if (!reading.questionResults[q].answer.Empty())
                continue;
            if (!empty.empty())
                empty += "、";
            empty += std::to_string(q + 1);
        }
        if (!empty.empty())
            prompts_.ShowMessage(texts::EmptyKeyHead + empty + texts::EmptyKeyTail);
    }
    state_.unsavedChanges = true;

    if (hooks.refreshGrid)
        hooks.refreshGrid();

    if (session.recordCount > 1 && number != session.records[0].admissionNumber.View()) {
        const std::string name = reading.studentName.Utf8();
        out.statusText = name + FormatScore(reading.totalScore) + "分";
        if (differs) {
            if (hooks.automaticMarkingOn && hooks.automaticMarkingOn()) {
                out.statusText = texts::AutoStoppedStatus;
                if (hooks.switchAutomaticMarkingOff)
                    hooks.switchAutomaticMarkingOff();
            } else {
                out.statusText = texts::DifferentSeeMemoStatus;
            }
        }
        out.windowCaption = texts::CaptionPrefix + out.statusText;
        if (settings_.SavePictures) {
            LocalDateTime now = clock ? clock() : LocalNow();
            if (!SaveCardPicture(colourFrame, programFolder, name, numberUtf8, now))
                prompts_.ShowMessage(card_picture::SaveFailed);
        }
    }

    lastAdmission_ = number;
    return true;
}

ReadAheadSampler::ReadAheadSampler(CardSampler& sampler, const MarkingSessionState& state, bool checkCardColour)
{
    // AcceptReading's calls in its order. It stops early on refusals that
    // depend on the session too; reading on past those costs a little time
    // and changes nothing it is given.
    const CardTemplate& t = state.cardTemplate;
    if ((Keep(Op::Grids).result = sampler.BuildSamplingGrids()) != GridsOk)
        return;
    ab_ = sampler.AbType();
    Keep(Op::Thumbnail);
    sampler.DrawThumbnail();
    Keep(Op::Grey);
    sampler.ResetGreyMode();
    if (checkCardColour && IsJdTemplate(state.templateName)) {
        const int colour = Keep(Op::Colour).result = sampler.CardColour();
        if (!ColourFitsPaper(ab_, colour))
            return;
    }
    const std::pair<DigitGridKind, std::pair<int, int>> grids[] = {
        {DigitGridKind::Admission, {t.AdmColumns, 10}},
        {DigitGridKind::Subject, {t.SubjColumns, t.SubjRows}},
        {DigitGridKind::Score, {t.ScoreColumns, 10}}};
    for (const auto& [grid, size] : grids) {
        Keep(Op::Prepare, grid, size.first, size.second);
        sampler.PrepareDigitColumns(grid, size.first, size.second);
    }
    Keep(Op::Blocks);
    sampler.PrepareAnswerBlocks();
    auto digits = [&](DigitGridKind grid, int columns, int rows) -> const std::string& {
        Call& c = Keep(Op::Digits, grid, columns, rows);
        c.digits = sampler.ReadDigitColumns(grid, columns, rows);
        for (int i = 0; i < static_cast<int>(c.digits.size()); ++i)
            c.columnReasons.push_back(sampler.DigitColumnReason(i));
        return c.digits;
    };
    if (digits(DigitGridKind::Admission, AdmissionColumnsRead(state.roster, t), 10).find(UnclearDigit) !=
        std::string::npos)
        return;
    digits(DigitGridKind::Subject, SubjectColumnsRead(t), t.SubjRows);
    if (state.exam.hasSubjectiveScore)
        digits(DigitGridKind::Score, ScoreColumnsRead(t), 10);
    Call& answers = Keep(Op::Answers);
    answers.result = static_cast<int>(sampler.ReadAnswers(state.exam, answers.answers));
    answers.answersRefusal = sampler.AnswersRefusal();
}

ReadAheadSampler::Call& ReadAheadSampler::Keep(Op op, DigitGridKind grid, int columns, int rows)
{
    return calls_.emplace_back(Call{op, grid, columns, rows, 0, {}, {}, {}, {}});
}

const ReadAheadSampler::Call& ReadAheadSampler::Next(Op op, DigitGridKind grid, int columns, int rows)
{
    if (next_ >= calls_.size() || calls_[next_].op != op || calls_[next_].grid != grid ||
        calls_[next_].columns != columns || calls_[next_].rows != rows)
        throw std::logic_error("acceptance asked for a sampling call the read-ahead did not make");
    return calls_[next_++];
}

int ReadAheadSampler::BuildSamplingGrids() { return Next(Op::Grids).result; }
void ReadAheadSampler::DrawThumbnail() { Next(Op::Thumbnail); }
void ReadAheadSampler::ResetGreyMode() { Next(Op::Grey); }
int ReadAheadSampler::CardColour() { return Next(Op::Colour).result; }
void ReadAheadSampler::PrepareDigitColumns(DigitGridKind grid, int columns, int rows)
{
    Next(Op::Prepare, grid, columns, rows);
}
void ReadAheadSampler::PrepareAnswerBlocks() { Next(Op::Blocks); }
std::string ReadAheadSampler::ReadDigitColumns(DigitGridKind grid, int columns, int rows)
{
    lastDigits_ = &Next(Op::Digits, grid, columns, rows);
    return lastDigits_->digits;
}
RefusalReason ReadAheadSampler::DigitColumnReason(int column) const
{
    if (!lastDigits_ || column < 0 || column >= static_cast<int>(lastDigits_->columnReasons.size()))
        return RefusalReason::None;
    return lastDigits_->columnReasons[static_cast<std::size_t>(column)];
}
AnswersReadResult ReadAheadSampler::ReadAnswers(const ExamSetup&, std::vector<std::string>& answers)
{
    const Call& c = Next(Op::Answers);
    answers_ = &c;
    answers = c.answers;
    return static_cast<AnswersReadResult>(c.result);
}
