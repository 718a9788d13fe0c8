#include "recognition/RecognitionPipeline.h"

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

MarkingOutcome RunMarkingAttempt(RecognitionContext& ctx, CardAcceptance& acceptance)
{
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
        code = RecognizeCardGuarded(ctx, acceptance);
    }

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
