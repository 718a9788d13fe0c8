#include "recognition/Refusal.h"

#include "recognition/MarkSampling.h"

std::string RefusalPlace(const RefusalDetail& d)
{
    const std::string n = std::to_string(d.index + 1);
    switch (d.field) {
    case RefusalField::Question:
        return d.index >= 0 ? "第" + n + "题" : std::string();
    case RefusalField::AdmissionNumber:
        return d.index >= 0 ? "准考证号第" + n + "位" : "准考证号";
    case RefusalField::Subject:
        return d.index >= 0 ? "科目第" + n + "位" : "科目";
    case RefusalField::SubjectiveScore:
        return d.index >= 0 ? "主观分第" + n + "位" : "主观分";
    case RefusalField::None:
        break;
    }
    return {};
}

const char* RefusalReasonText(RefusalReason r)
{
    switch (r) {
    case RefusalReason::InkOffCentre: return "涂点不在选项中间";
    case RefusalReason::MarkAstride: return "一个涂点跨两个选项";
    case RefusalReason::NeighbourOverflow: return "相邻选项的涂点溢出";
    case RefusalReason::PaleMark: return "涂得太淡";
    case RefusalReason::ErasedResidue: return "像是擦过的痕迹";
    case RefusalReason::TwoMarks: return "单选题涂了两个选项";
    case RefusalReason::TooManyDoubtful: return "可疑的题太多";
    case RefusalReason::TwoDigits: return "涂了两个数字";
    case RefusalReason::UnclearDigit: return "涂得不清楚";
    case RefusalReason::NotFilled: return "没有涂";
    case RefusalReason::OtherSubject: return "涂的科目和考试设置的科目不同";
    case RefusalReason::None: break;
    }
    return "";
}

const char* RefusalAdvice(RefusalReason r)
{
    switch (r) {
    case RefusalReason::InkOffCentre: return "请把涂点涂在选项正中，擦干净选项外的笔迹。";
    case RefusalReason::MarkAstride: return "请擦掉这个涂点，在要选的选项中间重新涂。";
    case RefusalReason::NeighbourOverflow: return "涂点涂出了格子，压到了旁边的选项，请把涂出格子的部分擦干净。";
    case RefusalReason::PaleMark: return "请用2B铅笔把要选的选项涂黑。";
    case RefusalReason::ErasedResidue: return "请把擦过的地方擦干净；如果这个选项是要选的，请重新涂黑。";
    case RefusalReason::TwoMarks: return "单选题只能涂一个选项，请把不要的那个擦干净。";
    case RefusalReason::TooManyDoubtful: return "请检查这些题是否涂得太淡、擦得不干净或涂出了格子。";
    case RefusalReason::TwoDigits: return "每一位只能涂一个数字，请把不要的那个擦干净。";
    case RefusalReason::UnclearDigit: return "请把这一位要涂的数字涂黑，擦干净其他笔迹。";
    case RefusalReason::NotFilled: return "请检查是否漏涂；已经涂了的，请涂黑一些。";
    case RefusalReason::OtherSubject: return "请核对答题卡上涂的科目。";
    case RefusalReason::None: break;
    }
    return "";
}

std::string RefusalMemoLine(const RefusalDetail& d)
{
    if (!d.Any())
        return {};
    std::string line = RefusalPlace(d) + "：" + RefusalReasonText(d.reason);
    // Which question is named, and what was wrong with it, tells the teacher
    // where to look first among the doubtful ones.
    if (d.reason == RefusalReason::TooManyDoubtful) {
        line += "（共" + std::to_string(d.doubtful) + "道";
        if (d.doubt != RefusalReason::None)
            line += std::string("，这道题") + RefusalReasonText(d.doubt);
        line += "）";
    }
    return line + "。" + RefusalAdvice(d.reason);
}

void AppendRefusalLine(std::string& memo, const RefusalDetail& d)
{
    if (d.Any())
        memo += "\r\n" + RefusalMemoLine(d);
}

RefusalDetail UnreadDigitColumn(RefusalField field, std::string_view text, bool blankAnywhere,
                                const std::function<RefusalReason(int column)>& why)
{
    RefusalDetail d;
    d.field = field;
    const std::size_t first = text.find_first_not_of(' ');
    if (const std::size_t unclear = text.find(UnclearDigit); unclear != std::string_view::npos) {
        d.index = static_cast<int>(unclear);
        d.reason = why ? why(d.index) : RefusalReason::None;
        if (d.reason == RefusalReason::None || d.reason == RefusalReason::NotFilled)
            d.reason = RefusalReason::UnclearDigit;
    } else if (first == std::string_view::npos) {
        d.reason = text.empty() ? RefusalReason::None : RefusalReason::NotFilled;
    } else if (const std::size_t blank = text.find(' ', blankAnywhere ? 0 : first);
               blank != std::string_view::npos && (blankAnywhere || blank < text.find_last_not_of(' '))) {
        d.index = static_cast<int>(blank);
        d.reason = RefusalReason::NotFilled;
    }
    if (!d.Any())
        d.field = RefusalField::None;
    return d;
}
