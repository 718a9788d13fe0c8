#pragma once
// Acceptance of a card reading: drives the mark sampling in its fixed order,
// checks the reading against the card colour, the roster, the marking page's
// grade and class, the exam's subject and earlier readings of the same card,
// scores it and stores it. The first card of a session is the standard answer.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MarkingSettings.h"
#include "marking/CardPicture.h"
#include "marking/CardSampler.h"
#include "marking/SessionState.h"
#include "platform/PromptsCore.h"

// Texts of acceptance (UTF-8), as the user sees them.
namespace acceptance_texts {
inline constexpr const char* AbNotMarked = "AB卷识别失败,AB卷位置没选中";
inline constexpr const char* AbAmbiguous = "AB卷识别失败,可能是光线太暗或AB卷位置有阴影造成";
inline constexpr const char* ColourMemo =
    "颜色与AB卡类型不符合,可能是光照太弱或不是白色光等原因造成摄像头偏色导致,可以想办法改变光照解决（比如开灯）。"
    "或者可以点 阅卷设置 按钮,到设置窗体里选中 忽略机读卡颜色 选项。";
inline constexpr const char* ColourStatus = "颜色与AB卡类型不符合,请看文字提示信息";
inline constexpr const char* StandardNumberMemo =
    "　　标准答案答题卡准考证号必须全空。\r\n　　如果需要使用成绩最好的学生的答题卡做标准答案"
    "（读入后可以核对修改个别错误的答案），可以先将其答题卡准考证号先用橡皮擦擦除，"
    "作为标准答案输入后再涂回原来的准考证号。";
inline constexpr const char* StandardNumberStatus = "标准答案答题卡准考证号必须全空";
inline constexpr const char* NumberPrefix = "准考证号：";
inline constexpr const char* OtherGradeMemo =
    "不属于当前选定的年级！\r\n　　如果是准考证号读取有误请移动答题卡重新判断；\r\n"
    "　　如果是准考证号读取无误,建议把此答题卡先放一边，最后再来核对处理";
inline constexpr const char* OtherGradeStatus = "不属于当前年级";
inline constexpr const char* OtherClassMemo =
    "不属于当前选定的班级！\r\n　　如果是准考证号读取有误请移动答题卡重新判断；\r\n"
    "　　如果是准考证号读取无误,建议把此答题卡先放一边，最后再来核对处理";
inline constexpr const char* OtherClassStatus = "不属于当前班级";
inline constexpr const char* BlankDigitMemo = ",请检查准考证涂写是否正确。如未发现错误,可能是";
inline constexpr const char* BlankDigitStatus = "准考证涂写错误或光线有问题";
inline constexpr const char* NotInRosterMemo =
    "，学生名单中没有此学生,请检查是否填写错误,如果没有填写错误请移动一下答题卡重新读入。";
inline constexpr const char* NotInRosterStatus = "学生名单中没有此学生";
inline constexpr const char* MissingNumberMemo =
    "准考证号漏填（如果是想修改标准答案，请直接在列表中修改）。如检查准考证确实已涂则可能是";
inline constexpr const char* MissingNumberStatus = "准考证号漏填或光线有问题";
inline constexpr const char* SubjectMemo =
    "科目有误请检查，如果填写无误，请移动一下答题卡重新判断。如果确实有误，请修改。也可以点 阅卷设置按钮 "
    "设置忽略科目检查。";
inline constexpr const char* SubjectStatus = "科目有误";
inline constexpr const char* ScoreMemo = "主观分读取失败，如果填写无误，请移动一下答题卡重新判断。如果确实有误，请修改。";
inline constexpr const char* ScoreStatus = "主观分读取失败";
inline constexpr const char* LightingAdvice =
    "阅卷环境照射光线有问题。请注意以下事项:1.需要开灯阅卷时不能有正顶上灯光直接照射,灯光照射要有一定的角度 "
    "2.光线不能太暗或太亮,有太阳直射或外面太亮时要适当拉上窗帘或远离窗户";
inline constexpr const char* LightingStatus = "阅卷环境照射光线有问题,请看文字提示信息";
inline constexpr const char* FirstReading = "该答题卡第一次阅读！";
inline constexpr const char* AbChangedMemo =
    "AB卷类型和上次阅卷时不同,可能是光照有问题或准考证号填错造成,请仔细检查。";
inline constexpr const char* AbChangedStatus = "AB卷类型和上次阅卷时不同,请看文字提示信息";
inline constexpr const char* SameAgainMemo = "该答题卡这次阅卷结果和上次相同，已经阅卷次数：";
inline constexpr const char* SameAgainStatus = "结果和上次相同";
inline constexpr const char* DifferentStatus = "结果和上次不同";
inline constexpr const char* DetailHead = "该答题卡这次阅卷结果和上次不同，不同的题如下：\r\n";
inline constexpr const char* DetailTail =
    "请移动这张答题卡，多阅卷几次，直到几次都得到相同结果为止。也可以人工核实一下答题卡上出现不同的题,"
    "看是否是涂写不规范。\r\n"
    "如果频繁出现两次阅卷结果不同的情况，请检查是否是光线有问题,检查是否有光线太亮或灯光上方直射等情况。";
inline constexpr const char* StandardReadMemo = "标准答案已经读入，请稍微改变位置多读几次进行校对，确保无误。";
inline constexpr const char* StandardReadStatus = "标准答案已经读入";
inline constexpr const char* EmptyKeyHead = "标准答案中，第";
inline constexpr const char* EmptyKeyTail =
    "题答案为空，请仔细检查是否确实将以上题作为错题处理。"
    "如果不是错题，请检查是否漏涂或涂写太淡，如果涂写无误，请移动答题卡重新判断。";
inline constexpr const char* AutoStoppedStatus = "结果和上次不同,已停止自动阅卷,请看文字提示信息";
inline constexpr const char* DifferentSeeMemoStatus = "结果和上次不同,请看文字提示信息";
inline constexpr const char* CaptionPrefix = "Scorivo-摄像头阅卷版 ";
inline constexpr const char* StoreFullStatus = "阅卷记录已满";
inline constexpr const char* TooManyLettersStatus = "答案涂写的选项过多";
} // namespace acceptance_texts

// The marking page's grade and class boxes, as plain values (GBK bytes).
struct MarkingPageSelection {
    std::string gradeCode;   // code of the grade selected in NJYJ
    bool allClasses = true;  // BJYJ's selection is its first entry
    std::string classText;   // BJYJ's text
};

// What acceptance does to the window beyond its texts.
struct AcceptanceHooks {
    std::function<bool()> automaticMarkingOn;         // absent: off
    std::function<void()> switchAutomaticMarkingOff;  // button captions and the frame loop
    std::function<void()> refreshGrid;                // the marking grid after a store
};

// The short and the long text of a marking result, and the window caption.
// Acceptance changes them only where it says so; a cancelled overwrite
// leaves all three as they were. A refusal for a digit column or a question
// also names its place and reason; every other result leaves it empty.
struct AcceptanceTexts {
    std::string statusText;
    std::string memoTiShi;
    std::string windowCaption;
    RefusalDetail refusal;
};

class CardAcceptor {
public:
    CardAcceptor(MarkingSessionState& state, const MarkingSettings& settings, PromptsCore& prompts);

    // The colour check of "JD" cards (shown inverted as IgnoreCardColour).
    bool checkCardColour = true;
    MarkingPageSelection selection;
    AcceptanceHooks hooks;
    std::filesystem::path programFolder;  // where "原始图片/" is
    LocalClock clock = LocalNow;
    // The unaltered colour frame of this attempt, saved with SavePictures.
    PictureView colourFrame;

    // True = accepted and stored; false = refused (texts set) or an overwrite
    // the user cancelled (texts unchanged). A refusal changes no record.
    bool AcceptReading(CardSampler& sampler, AcceptanceTexts& texts);

    // The staging reading of the last attempt, kept after a refusal too.
    const MarkingRecord& Reading() const { return *reading_; }
    // Admission number (GBK) of the last accepted card.
    const std::string& LastAdmission() const { return lastAdmission_; }
    void SetLastAdmission(std::string gbk) { lastAdmission_ = std::move(gbk); }

private:
    MarkingSessionState& state_;
    const MarkingSettings& settings_;
    PromptsCore& prompts_;
    std::unique_ptr<MarkingRecord> reading_;
    std::string lastAdmission_;
};

// The sampling of one card done ahead of its acceptance: every call
// AcceptReading makes, in its order, up to the first refusal that follows
// from the card alone, each result kept and handed back as AcceptReading asks
// for it. A batch reads its cards this way on several threads and then
// accepts them one at a time in input order, so that only the acceptance
// itself holds the session. It reads the template, roster and exam of
// `state`, which acceptance never changes, and not the session.
class ReadAheadSampler : public CardSampler {
public:
    // `checkCardColour` as the acceptor will have it.
    ReadAheadSampler(CardSampler& sampler, const MarkingSessionState& state, bool checkCardColour);

    // Each returns the kept result of the same call; a call out of step with
    // the reading done throws std::logic_error (acceptance changed its order
    // without this class).
    int BuildSamplingGrids() override;
    int AbType() const override { return ab_; }
    void DrawThumbnail() override;
    void ResetGreyMode() override;
    int CardColour() override;
    void PrepareDigitColumns(DigitGridKind grid, int columns, int rows) override;
    void PrepareAnswerBlocks() override;
    std::string ReadDigitColumns(DigitGridKind grid, int columns, int rows) override;
    AnswersReadResult ReadAnswers(const ExamSetup& exam, std::vector<std::string>& answers) override;
    RefusalReason DigitColumnReason(int column) const override;
    RefusalDetail AnswersRefusal() const override { return answers_ ? answers_->answersRefusal : RefusalDetail{}; }

private:
    enum class Op { Grids, Thumbnail, Grey, Colour, Prepare, Blocks, Digits, Answers };
    struct Call {
        Op op;
        DigitGridKind grid = DigitGridKind::Admission;
        int columns = 0, rows = 0;
        int result = 0;
        std::string digits;
        std::vector<RefusalReason> columnReasons;
        std::vector<std::string> answers;
        RefusalDetail answersRefusal;
    };
    Call& Keep(Op op, DigitGridKind grid = DigitGridKind::Admission, int columns = 0, int rows = 0);
    const Call& Next(Op op, DigitGridKind grid = DigitGridKind::Admission, int columns = 0, int rows = 0);

    std::vector<Call> calls_;
    std::size_t next_ = 0;
    const Call* lastDigits_ = nullptr;
    const Call* answers_ = nullptr;
    int ab_ = 0;
};

// The two lists of differing answers between a stored record and a new
// reading, over the first `questionCount` questions.
struct AnswerDifferences {
    int count = 0;
    std::string detail;   // "q old->new\r\n" per difference
    std::string compact;  // the same without "\r\n", padded to columns of 15 bytes, 5 to a line
};
AnswerDifferences CompareAnswers(const MarkingRecord& before, const MarkingRecord& after, int questionCount);

// A subjective score from the score grid: decimal digits, surrounding blanks
// ignored. False when the text is not a number.
bool ParseScoreDigits(std::string_view text, float& score);
