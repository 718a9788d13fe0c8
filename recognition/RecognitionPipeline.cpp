#include "recognition/RecognitionPipeline.h"

#include <algorithm>
#include <exception>
#include <string>

#include "recognition/DetectionLines.h"
#include "recognition/ImagePrimitives.h"
#include "recognition/Rectification.h"

void PrepareFrame(RecognitionContext& ctx)
{
    ctx.ColourFrame.CopyFrom(ctx.FrameBitmap);
    ctx.GreyMode = GreyPlain;
    if (ctx.IsDyOrJd())
        Binarise(ctx.FrameBitmap.View(), 100, WholePicture(ctx.FrameBitmap.View()));
    ctx.LineFrame.CopyFrom(ctx.FrameBitmap);
}

int RecognizeCard(RecognitionContext& ctx, CardAcceptance& acceptance)
{
    ctx.GreyMode = GreyPlain;
    ClearReading(ctx.Reading);
    ctx.SubjectCode.Clear();
    ctx.AbTypeRead = false;
    ctx.Thumbnail.FillWhite();

    const BitmapView frame = ctx.FrameBitmap.View();
    if (frame.Empty() || ctx.LineFrame.Width() != frame.width || ctx.LineFrame.Height() != frame.height ||
        ctx.ColourFrame.Width() != frame.width || ctx.ColourFrame.Height() != frame.height)
        return CodeNoLineCandidates;
    if (BlackShare(frame) > 20)
        return CodeTooMuchBlack;
    if (ctx.Lines.DetectLines(frame) < 2)
        return CodeNoLineCandidates;
    LinePair pair;
    if (!ctx.Lines.ChooseLinePair(ctx.Template, pair))
        return CodeNoLinePair;
    ctx.Ends.bottom = ctx.Lines.Records()[pair.bottom];
    ctx.Ends.top = ctx.Lines.Records()[pair.top];
    const BitmapView lineFrame = ctx.LineFrame.View();
    if (int code = RefineLineEnds(lineFrame, ctx.Ends))
        return code;
    if (int code = CheckLinePlacement(lineFrame, ctx.Ends, ctx.IsJd(), ctx.Template))
        return code;
    RectifyCard(ctx, CheckCardCopy::None);
    LevelCardLight(ctx);
    if (!IsCardUpright(ctx))
        return CodeUpsideDown;
    if (int code = CheckCardPlacement(ctx))
        return code;
    return acceptance.AcceptReading(ctx) ? CodeAccepted : CodeRefused;
}

int RecognizeCardGuarded(RecognitionContext& ctx, CardAcceptance& acceptance)
{
    try {
        return RecognizeCard(ctx, acceptance);
    } catch (const std::exception&) {
        return CodeNoLineCandidates;
    } catch (...) {
        return CodeNoLineCandidates;
    }
}

// The cells of the refused question or digit column in card space, as the
// rectangle around their sampling windows: false when the refusal names none.
static bool RefusedCells(const RecognitionContext& ctx, PointF& low, PointF& high)
{
    const RefusalDetail& d = ctx.Refusal;
    const float sx = ctx.Geometry.sx, sy = ctx.Geometry.sy;
    bool any = false;
    auto take = [&](PointF c) {
        // A window spans sx to the right of its corner and sy below it.
        low = any ? PointF{std::min(low.x, c.x), std::min(low.y, c.y - sy)} : PointF{c.x, c.y - sy};
        high = any ? PointF{std::max(high.x, c.x + sx), std::max(high.y, c.y)} : PointF{c.x + sx, c.y};
        any = true;
    };
    const DigitGrid* grid = nullptr;
    switch (d.field) {
    case RefusalField::Question:
        if (d.index >= 0 && d.index < card_limits::MaxQuestions && ctx.Questions[d.index].hasCells)
            for (int j = 0; j < ctx.Questions[d.index].options; ++j)
                take(ctx.Questions[d.index].corner[j]);
        return any;
    case RefusalField::AdmissionNumber: grid = &ctx.AdmGrid; break;
    case RefusalField::Subject: grid = &ctx.SubjGrid; break;
    case RefusalField::SubjectiveScore: grid = &ctx.ScoreGrid; break;
    case RefusalField::None: return false;
    }
    for (int i = 0; i < grid->columns; ++i)
        if (d.index < 0 || d.index == i)
            for (int j = 0; j < grid->rows; ++j)
                take(grid->corner[i][j]);
    return any;
}

// The refused place outlined in the frame: its cells' rectangle, a fifth of a
// cell wider all round so the line does not hide the marks, taken back
// through the rectification (and the half turn of a card read upside down).
static void OutlineRefusal(RecognitionContext& ctx, bool turnedHalf)
{
    PointF low, high;
    ctx.HasRefusalOutline = RefusedCells(ctx, low, high);
    if (!ctx.HasRefusalOutline)
        return;
    const float mx = ctx.Geometry.sx / 5, my = ctx.Geometry.sy / 5;
    const PointF card[4] = {
        {low.x - mx, low.y - my}, {high.x + mx, low.y - my}, {high.x + mx, high.y + my}, {low.x - mx, high.y + my}};
    const float w = static_cast<float>(ctx.ColourFrame.Width()), h = static_cast<float>(ctx.ColourFrame.Height());
    for (int k = 0; k < 4; ++k) {
        const PointF f = CardToFrame(ctx, card[k]);
        ctx.RefusalOutline[static_cast<std::size_t>(k)] = turnedHalf ? PointF{w - 1 - f.x, h - 1 - f.y} : f;
    }
}

MarkingOutcome RunMarkingAttempt(RecognitionContext& ctx, CardAcceptance& acceptance)
{
    ctx.Refusal = {};
    ctx.HasRefusalOutline = false;
    bool turnedHalf = false;
    int code = RecognizeCardGuarded(ctx, acceptance);
    if (code == CodeNoLineCandidates || code == CodeNoLinePair) {
        ctx.FrameBitmap.CopyFrom(ctx.ColourFrame);
        Binarise(ctx.FrameBitmap.View(), 120, WholePicture(ctx.FrameBitmap.View()));
        ctx.LineFrame.CopyFrom(ctx.FrameBitmap);
        code = RecognizeCardGuarded(ctx, acceptance);
    }
    if (code == CodeUpsideDown) {
        // FrameBitmap still holds the skeleton of the attempt before.
        Rotate180(ctx.FrameBitmap.View());
        Rotate180(ctx.ColourFrame.View());
        Rotate180(ctx.LineFrame.View());
        turnedHalf = true;
        code = RecognizeCardGuarded(ctx, acceptance);
    }
    if (code == CodeRefused)
        OutlineRefusal(ctx, turnedHalf);
    else
        ctx.Refusal = {};

    MarkingOutcome out;
    out.code = code;
    if (code == CodeAccepted) {
        out.sound = PromptSound::Success;
    } else if (code == CodeRefused) {
        out.sound = PromptSound::Warning;
    } else {
        ctx.StatusText = StatusTextOf(code);
        ctx.MemoTiShi = MemoTextOf(code, ctx.StatusText);
        out.sound = PromptSound::Wrong;
    }
    return out;
}

std::string StatusTextOf(int code)
{
    switch (code) {
    case 1:
        return "未获得正确的检测线。请注意光线,答题卡不要倾斜太多,摄像头不要太远。";
    case 2:
        return "未获得正确的检测线";
    case 3:
        return "下边检测线左边越界";
    case 4:
        return "下边检测线右边越界";
    case 5:
        return "上边检测线左边越界";
    case 6:
        return "上边检测线右边越界";
    case 7:
        return "左下角越界";
    case 8:
        return "右下角越界";
    case 9:
        return "左上角越界";
    case 10:
        return "右上角越界";
    case 11:
        return "图像倒立";
    case 12:
        return "黑点过多，请检查是否已垫白纸";
    case 100:
        return "摄像头离答题卡太近";
    case 101:
        return "摄像头离答题卡太远";
    case 102:
    case 103:
        return "阅卷出错" + std::to_string(code) + " 请移动一下答题卡再阅卷";
    case 104:
        return "光照有问题或有阴影落到答题卡上";
    case 105:
        return "答题卡离开画面中心太多,请移动到靠近画面中心位置";
    case 106:
        return "摄像头和答题卡偏离垂直角度太多";
    default:
        return {};
    }
}

std::string MemoTextOf(int code, std::string_view statusText)
{
    if (code >= 2 && code <= 11)
        return std::string(statusText) + "，请移动答题卡。";
    return std::string(statusText);
}
