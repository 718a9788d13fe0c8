// scorivo-cli mark: marks card pictures into a marking raw file exactly as
// the marking page marks camera samples, with the whole card acceptance.
#include <cstdio>
#include <string>
#include <vector>

#include "app/MarkingSettings.h"
#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "cli/PictureLoading.h"
#include "marking/Acceptance.h"
#include "marking/RawFile.h"
#include "marking/RecognitionSampler.h"
#include "platform/Files.h"
#include "platform/NumberFormat.h"

namespace {

// Messages go to standard error; the OK/Cancel question is answered as told.
// Marking only asks OK/Cancel; the other questions get the cautious answer.
class CommandLinePrompts : public PromptsCore {
public:
    explicit CommandLinePrompts(bool answerOk) : answerOk_(answerOk) {}
    void ShowMessage(const std::string& utf8) override { std::fprintf(stderr, "%s\n", utf8.c_str()); }
    bool AskOkCancel(const std::string& utf8) override
    {
        std::fprintf(stderr, "%s\n[%s]\n", utf8.c_str(), answerOk_ ? "确定" : "取消");
        return answerOk_;
    }
    bool AskYesNo(const std::string& utf8) override
    {
        std::fprintf(stderr, "%s\n[否]\n", utf8.c_str());
        return false;
    }
    PromptAnswer AskYesNoCancel(const std::string& utf8) override
    {
        std::fprintf(stderr, "%s\n[取消]\n", utf8.c_str());
        return PromptAnswer::Cancel;
    }

private:
    bool answerOk_;
};

// Exit codes besides 0 (every card accepted), 1 (errors) and 2 (usage).
constexpr int ExitSomeRefused = 3;
constexpr int ExitLocked = 4;

int Usage(const std::string& why)
{
    if (!why.empty())
        std::fprintf(stderr, "scorivo-cli mark: %s\n", why.c_str());
    std::fputs("usage: scorivo-cli mark --session FILE.yj [--grade CODE] [--class CODE] [--answer ok|cancel] "
               "[--fit] IMAGE...\n",
               stderr);
    return 2;
}

int CmdMark(const std::vector<std::string>& args)
{
    auto o = cli::ParseOptions(args, {"--session", "--grade", "--class", "--answer"}, {"--fit"});
    if (!o.error.empty())
        return Usage(o.error);
    const std::string answer = o.Get("--answer", "cancel");
    if (!o.Has("--session") || o.positional.empty() || (answer != "ok" && answer != "cancel"))
        return Usage({});

    const std::filesystem::path programFolder = files::ProgramFolder();
    const std::filesystem::path sessionFile = files::FromUtf8(o.Get("--session"));
    // Two runs on one file would each save their own records over the other's.
    files::FileLock lock;
    std::string lockError;
    if (!lock.TryLock(sessionFile, &lockError)) {
        std::fprintf(stderr, "scorivo-cli mark: %s: %s\n", o.Get("--session").c_str(), lockError.c_str());
        return ExitLocked;
    }
    files::RemoveStaleTemporaries(sessionFile);
    auto state = NewMarkingSessionState();
    MarkingFileResult opened = OpenMarkingFile(*state, sessionFile, programFolder);
    if (!opened.ok) {
        std::fprintf(stderr, "%s\n", opened.message.c_str());
        return 1;
    }
    if (!opened.templateLoaded) {
        std::fprintf(stderr, "%s\n", opened.templateMessage.c_str());
        return 1;
    }

    MarkingSettings settings;
    LoadMarkingSettings(settings, programFolder / "YJSet.dat");
    CommandLinePrompts prompts(answer == "ok");
    CardAcceptor acceptor(*state, settings, prompts);
    acceptor.programFolder = programFolder;

    // The marking page's grade and class boxes.
    const StudentRoster& roster = state->roster;
    auto grade = gbk::FromUtf8(o.Get("--grade"));
    auto cls = gbk::FromUtf8(o.Get("--class"));
    if (!grade || !cls)
        return Usage("grade or class code with characters GBK cannot hold");
    if (roster.gradeEnabled && !o.Has("--grade")) {
        std::fprintf(stderr, "%s\n", roster_texts::ChooseGrade);
        return 1;
    }
    acceptor.selection.gradeCode = *grade;
    acceptor.selection.allClasses = !o.Has("--class");
    acceptor.selection.classText = *cls;
    if (roster.gradeEnabled)
        state->session.gradeFilter.SetTruncated(*grade);
    if (roster.classEnabled)
        state->session.classFilter.SetTruncated(o.Has("--class") ? *cls : std::string("ALL"));

    RecognitionContext ctx;
    ctx.SetUp(cli::SampleWidth, cli::SampleHeight, 3);
    ctx.SetTemplate(state->cardTemplate, state->templateName);
    SessionCardAcceptance acceptance(acceptor);

    int failures = 0;
    int refused = 0;
    for (const std::string& file : o.positional) {
        // A refused card must not repeat the previous card's texts.
        ctx.StatusText.clear();
        ctx.MemoTiShi.clear();
        cli::Picture picture;
        std::string error;
        if (!cli::LoadPicture(files::FromUtf8(file), picture, error)) {
            std::fprintf(stderr, "scorivo-cli mark: %s: %s\n", file.c_str(), error.c_str());
            ++failures;
            continue;
        }
        if (o.flags.count("--fit") && (picture.width != cli::SampleWidth || picture.height != cli::SampleHeight))
            picture = cli::FitIntoFrame(picture);
        if (picture.width != cli::SampleWidth || picture.height != cli::SampleHeight) {
            std::fprintf(stderr, "scorivo-cli mark: %s: the picture is %d x %d, not 640 x 480 (use --fit)\n",
                         file.c_str(), picture.width, picture.height);
            ++failures;
            continue;
        }
        cli::LoadSample(ctx, picture);
        PrepareFrame(ctx);
        const MarkingOutcome outcome = RunMarkingAttempt(ctx, acceptance);
        if (outcome.code == CodeAccepted) {
            // Saved after every card: a kill mid-batch loses at most the card being read.
            MarkingFileResult saved = SaveMarkingFileTo(*state, sessionFile);
            if (!saved.ok) {
                std::fprintf(stderr, "%s\n", saved.message.c_str());
                return 1;
            }
        } else {
            ++refused;
        }

        // Codes 0 and 13 went through acceptance: its staging reading says who the card was.
        const bool reached = outcome.code == CodeAccepted || outcome.code == CodeRefused;
        const MarkingRecord& r = acceptor.Reading();
        std::string line = "{\"file\":" + cli::JsonString(file) + ",\"code\":" + std::to_string(outcome.code) +
                           ",\"status\":" + cli::JsonString(ctx.StatusText) +
                           ",\"memo\":" + cli::JsonString(ctx.MemoTiShi) + ",\"admissionNumber\":" +
                           cli::JsonString(reached ? gbk::ToUtf8(r.admissionNumber.View()) : std::string()) +
                           ",\"name\":" + cli::JsonString(reached ? r.studentName.Utf8() : std::string()) +
                           ",\"total\":" + (outcome.code == CodeAccepted ? FormatScore(r.totalScore) : "null") +
                           ",\"readCount\":" + std::to_string(outcome.code == CodeAccepted ? r.readCount : 0) + "}\n";
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }
    if (failures)
        return 1;
    return refused ? ExitSomeRefused : 0;
}

const cli::CommandRegistrar registrar(
    "mark", "mark --session FILE.yj [--grade CODE] [--class CODE] [--answer ok|cancel] [--fit] IMAGE...", CmdMark);

} // namespace
