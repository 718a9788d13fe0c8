#pragma once
// Acceptance without a roster or a standard answer: the sampling sequence
// and its own refusals (AB type, card colour, subjective score, lighting).
// Used by the "read" command, the tests and the benchmarks; the session's
// acceptance adds the roster and standard-answer checks around the same calls.

#include <string>

#include "recognition/RecognitionPipeline.h"
#include "recognition/SamplingExam.h"

// Refusal texts of the sampling steps.
namespace sampling_texts {
inline constexpr const char* AbNotMarkedText = "AB卷识别失败,AB卷位置没选中";
inline constexpr const char* AbAmbiguousText = "AB卷识别失败,可能是光线太暗或AB卷位置有阴影造成";
inline constexpr const char* ColourMemo =
    "颜色与AB卡类型不符合,可能是光照太弱或不是白色光等原因造成摄像头偏色导致,可以想办法改变光照解决（比如开灯）。"
    "或者可以点 阅卷设置 按钮,到设置窗体里选中 忽略机读卡颜色 选项。";
inline constexpr const char* ColourStatus = "颜色与AB卡类型不符合,请看文字提示信息";
inline constexpr const char* ScoreMemo =
    "主观分读取失败，如果填写无误，请移动一下答题卡重新判断。如果确实有误，请修改。";
inline constexpr const char* ScoreStatus = "主观分读取失败";
inline constexpr const char* LightingAdvice =
    "阅卷环境照射光线有问题。请注意以下事项:1.需要开灯阅卷时不能有正顶上灯光直接照射,灯光照射要有一定的角度 "
    "2.光线不能太暗或太亮,有太阳直射或外面太亮时要适当拉上窗帘或远离窗户";
inline constexpr const char* LightingStatus = "阅卷环境照射光线有问题,请看文字提示信息";
} // namespace sampling_texts

// Skin-coloured pixels in or near one answer block or digit column from
// which a card is refused: a thumb over the card. Sensor noise and the colour
// fringes of printed and photographed cards, a pixel or two wide, count
// nearly none (in 6600 frames without a thumb, one frame counted 2); thumbs
// read wrong came to 4 and more, a nail alone over the cells often to none.
inline constexpr int SkinNearCellsLimit = 4;

// Parses a subjective score read from the digit columns: a decimal number
// with surrounding blanks ignored. False when the text is not a number.
bool ParseSubjectiveScore(const std::string& text, float& score);

class RawReadingAcceptance : public CardAcceptance {
public:
    RawReadingAcceptance(const SamplingExam& exam, int admissionLength) : exam_(exam), admissionLength_(admissionLength)
    {
    }
    bool AcceptReading(RecognitionContext& ctx) override;

private:
    SamplingExam exam_;
    int admissionLength_;
};

// The exam of a raw reading: every question of the template, single choice
// scoring 1, except the listed (0-based) questions, which are multiple choice.
SamplingExam WholeTemplateExam(const CardTemplate& t, const bool* multiple = nullptr);
