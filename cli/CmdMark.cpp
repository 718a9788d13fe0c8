// scorivo-cli mark: marks card pictures into a marking raw file exactly as
// the marking page marks camera samples, with the whole card acceptance.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/MarkingSettings.h"
#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "cli/GradeClassOptions.h"
#include "cli/OrderedBatch.h"
#include "cli/PictureLoading.h"
#include "marking/Acceptance.h"
#include "marking/MarkingJournal.h"
#include "marking/RawFile.h"
#include "marking/RecognitionSampler.h"
#include "platform/Files.h"
#include "platform/NumberFormat.h"

namespace {

// Messages go to the card's own text for standard error, printed when the
// card's result is; the OK/Cancel question is answered as told. Marking only
// asks OK/Cancel; the other questions get the cautious answer.
class CommandLinePrompts : public PromptsCore {
public:
    explicit CommandLinePrompts(bool answerOk) : answerOk_(answerOk) {}
    // Only the card holding the acceptance turn sets it and is asked.
    void SetSink(std::string* sink) { sink_ = sink; }
    void ShowMessage(const std::string& utf8) override { Print(utf8 + "\n"); }
    bool AskOkCancel(const std::string& utf8) override
    {
        Print(utf8 + "\n[" + (answerOk_ ? "确定" : "取消") + "]\n");
        return answerOk_;
    }
    bool AskYesNo(const std::string& utf8) override
    {
        Print(utf8 + "\n[否]\n");
        return false;
    }
    PromptAnswer AskYesNoCancel(const std::string& utf8) override
    {
        Print(utf8 + "\n[取消]\n");
        return PromptAnswer::Cancel;
    }

private:
    void Print(const std::string& text)
    {
        if (sink_)
            *sink_ += text;
        else
            std::fputs(text.c_str(), stderr);
    }
    bool answerOk_;
    std::string* sink_ = nullptr;
};

// The acceptance stage of one card: it samples the marks alongside the
// other workers, then waits until every earlier card has been through
// acceptance, so that the session sees the cards in input order whichever
// worker recognised them, and keeps the turn until the card's save and line
// are taken from the session. Only the acceptance proper holds the turn: with
// the sampling in it too, the cards queued behind the turn and the cores
// idled a sixth of the time.
class InputOrderAcceptance : public CardAcceptance {
public:
    InputOrderAcceptance(cli::OrderedBatch& batch, std::size_t index, const MarkingSessionState& state,
                         SessionCardAcceptance& session, CommandLinePrompts& prompts, std::string& messages)
        : batch_(batch), index_(index), state_(state), session_(session), prompts_(prompts), messages_(messages)
    {
    }
    bool AcceptReading(RecognitionContext& ctx) override
    {
        RecognitionSampler sampler(ctx);
        ReadAheadSampler readAhead(sampler, state_, ctx.CheckCardColour);
        // A retry after an exception in acceptance comes back holding the turn.
        if (!holding_) {
            if (!batch_.WaitForTurn(index_)) {
                stopped_ = true;  // an earlier card's save failed: this one must not touch the session
                return false;
            }
            holding_ = true;
            prompts_.SetSink(&messages_);
        }
        return session_.AcceptReading(ctx, readAhead);
    }
    bool Holding() const { return holding_; }
    bool Stopped() const { return stopped_; }

private:
    cli::OrderedBatch& batch_;
    std::size_t index_;
    const MarkingSessionState& state_;
    SessionCardAcceptance& session_;
    CommandLinePrompts& prompts_;
    std::string& messages_;
    bool holding_ = false;
    bool stopped_ = false;
};

// What one picture gave, kept until it is its turn to be printed.
struct MarkedCard {
    std::string messages;  // for standard error, in the order they arose
    bool failed = false;   // unreadable, or not a 640 x 480 picture
    bool accepted = false;
    int recordIndex = -1;   // accepted: where the card's record went
    MarkingRecord record;  // accepted: the record as stored
    std::string line;      // the JSON line for standard output
};

// Exit codes besides 0 (every card accepted), 1 (errors) and 2 (usage).
constexpr int ExitSomeRefused = 3;
constexpr int ExitLocked = 4;

int Usage(const std::string& why)
{
    if (!why.empty())
        std::fprintf(stderr, "scorivo-cli mark: %s\n", why.c_str());
    std::fputs("usage: scorivo-cli mark --session FILE.yj [--grade CODE] [--class CODE] [--answer ok|cancel] "
               "[--fit] [--jobs N] IMAGE...\n",
               stderr);
    return 2;
}

int CmdMark(const std::vector<std::string>& args)
{
    auto o = cli::ParseOptions(args, {"--session", "--grade", "--class", "--answer", "--jobs"}, {"--fit"});
    if (!o.error.empty())
        return Usage(o.error);
    const std::string answer = o.Get("--answer", "cancel");
    if (!o.Has("--session") || o.positional.empty() || (answer != "ok" && answer != "cancel"))
        return Usage({});
    int jobs = cli::DefaultJobCount();
    if (o.Has("--jobs") && !cli::ParseJobCount(o.Get("--jobs"), jobs))
        return Usage("--jobs takes a whole number from 1 to " + std::to_string(cli::MaxJobs));

    const std::filesystem::path programFolder = cli::UserFolder();
    const std::filesystem::path sessionFile = files::FromUtf8(o.Get("--session"));
    // Two runs on one file would each save their own records over the other's.
    files::FileLock lock;
    std::string lockError;
    if (const auto locked = lock.Lock(sessionFile, &lockError); locked != files::FileLock::Result::Taken) {
        std::fprintf(stderr, "scorivo-cli mark: %s: %s\n", o.Get("--session").c_str(), lockError.c_str());
        // 4 tells a script to wait and try again: only when that can help.
        return locked == files::FileLock::Result::HeldByAnother ? ExitLocked : 1;
    }
    files::RemoveStaleTemporaries(sessionFile);
    // The cards of a run killed before it folded its journal in.
    if (std::string message; !FoldMarkingJournal(sessionFile, message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return 1;
    }
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
    if (std::string why = AdmissionLengthOnCardProblem(state->roster.admissionLength, state->cardTemplate.AdmColumns);
        !why.empty()) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }

    MarkingSettings settings;
    LoadMarkingSettings(settings, programFolder / "YJSet.dat");
    CommandLinePrompts prompts(answer == "ok");
    CardAcceptor acceptor(*state, settings, prompts);
    acceptor.programFolder = programFolder;

    // The marking page's grade and class boxes.
    const StudentRoster& roster = state->roster;
    GradeClassChoice choice;
    if (std::string why = cli::ChooseGradeClass(roster, o, choice); !why.empty()) {
        std::fprintf(stderr, "scorivo-cli mark: %s\n", why.c_str());
        return 2;
    }
    if (roster.gradeEnabled && choice.gradeIndex < 0) {
        std::fprintf(stderr, "%s\n", roster_texts::ChooseGrade);
        return 1;
    }
    const bool oneClass = choice.classChoice == GradeClassChoice::Class::One;
    if (choice.gradeIndex >= 0)
        acceptor.selection.gradeCode = std::string(roster.grades[choice.gradeIndex].code.View());
    acceptor.selection.allClasses = !oneClass;
    acceptor.selection.classText = choice.classCode;
    if (roster.gradeEnabled)
        state->session.gradeFilter.SetTruncated(acceptor.selection.gradeCode);
    if (roster.classEnabled)
        state->session.classFilter.SetTruncated(oneClass ? choice.classCode : std::string("ALL"));

    SessionCardAcceptance acceptance(acceptor);
    const bool fit = o.flags.count("--fit") != 0;
    const std::vector<std::string>& files = o.positional;
    cli::OrderedBatch batch(files.size(), jobs);
    cli::PrepareImageReadersForWorkers(files, fit);
    // One recognition context per worker: a context is the whole state of an attempt.
    std::vector<std::unique_ptr<RecognitionContext>> contexts;
    for (int w = 0; w < batch.Jobs(); ++w) {
        contexts.push_back(std::make_unique<RecognitionContext>());
        contexts.back()->SetUp(cli::SampleWidth, cli::SampleHeight, 3);
        contexts.back()->SetTemplate(state->cardTemplate, state->templateName);
    }
    std::vector<MarkedCard> cards(files.size());

    // On a worker: everything up to acceptance runs alongside the other
    // workers; acceptance, the session's bytes and the line run in input order.
    auto work = [&](std::size_t index, int worker) {
        RecognitionContext& ctx = *contexts[static_cast<std::size_t>(worker)];
        MarkedCard& card = cards[index];
        const std::string& file = files[index];
        ctx.StartPicture();
        cli::Picture picture;
        std::string error;
        if (!cli::LoadFramePicture(files::FromUtf8(file), fit, picture, error)) {
            card.messages = "scorivo-cli mark: " + file + ": " + error + "\n";
            card.failed = true;
            return;
        }
        cli::LoadSample(ctx, picture);
        PrepareFrame(ctx);
        InputOrderAcceptance ordered(batch, index, *state, acceptance, prompts, card.messages);
        const MarkingOutcome outcome = RunMarkingAttempt(ctx, ordered);
        if (ordered.Stopped())
            return;
        // Codes 0 and 13 went through acceptance, and this card still holds
        // the turn: the acceptor's staging reading says who the card was.
        const bool reached = ordered.Holding() && (outcome.code == CodeAccepted || outcome.code == CodeRefused);
        card.accepted = outcome.code == CodeAccepted;
        const MarkingRecord& r = acceptor.Reading();
        if (card.accepted) {
            // An accepted card appended its record or replaced the one of its number.
            card.recordIndex = state->session.FindRecord(r.admissionNumber.View(), 0);
            card.record = state->session.records[card.recordIndex];
        }
        card.line = "{\"file\":" + cli::JsonString(file) + ",\"code\":" + std::to_string(outcome.code) +
                    ",\"status\":" + cli::JsonString(ctx.StatusText) + ",\"memo\":" + cli::JsonString(ctx.MemoTiShi) +
                    (ctx.Refusal.Any() ? ",\"question\":" + cli::JsonString(RefusalPlace(ctx.Refusal)) +
                                             ",\"reason\":" + cli::JsonString(RefusalReasonText(ctx.Refusal.reason))
                                       : std::string()) +
                    ",\"admissionNumber\":" +
                    cli::JsonString(reached ? gbk::ToUtf8(r.admissionNumber.View()) : std::string()) +
                    ",\"name\":" + cli::JsonString(reached ? r.studentName.Utf8() : std::string()) +
                    ",\"total\":" + (card.accepted ? FormatScore(r.totalScore) : "null") +
                    ",\"readCount\":" + std::to_string(card.accepted ? r.readCount : 0) + "}\n";
        if (ordered.Holding()) {
            prompts.SetSink(nullptr);
            batch.EndTurn(index);
        }
    };

    int failures = 0;
    int refused = 0;
    bool saveFailed = false;
    MarkingJournal journal;
    // On the calling thread, in input order: messages, the save, the line.
    auto deliver = [&](std::size_t index) {
        MarkedCard card = std::move(cards[index]);
        std::fputs(card.messages.c_str(), stderr);
        if (card.failed) {
            ++failures;
            return true;
        }
        if (card.accepted) {
            // In the journal after every card, before its line: a kill
            // mid-batch loses at most the cards it has not reported.
            std::string error;
            const bool saved = (journal.Started() || journal.Start(sessionFile, opened.fileSize, opened.fileHash,
                                                                   state->session, error)) &&
                               journal.Append(card.recordIndex, card.record, error);
            if (!saved) {
                std::fprintf(stderr, "%s\n%s\n%s\n", raw_file::SaveFailed, files::ToUtf8(sessionFile).c_str(),
                             error.c_str());
                saveFailed = true;
                return false;
            }
        } else {
            ++refused;
        }
        cli::PrintNow(card.line);
        return true;
    };
    batch.Run(work, deliver);
    if (journal.Started()) {
        journal.Close();
        if (std::string message; !FoldMarkingJournal(sessionFile, message)) {
            std::fprintf(stderr, "%s\n每张报告已阅的答题卡都保存在 %s 里，下次打开时恢复。\n", message.c_str(),
                         files::ToUtf8(JournalPath(sessionFile)).c_str());
            saveFailed = true;
        }
    }

    if (saveFailed || failures)
        return 1;
    return refused ? ExitSomeRefused : 0;
}

const cli::CommandRegistrar registrar(
    "mark", "mark --session FILE.yj [--grade CODE] [--class CODE] [--answer ok|cancel] [--fit] [--jobs N] IMAGE...",
    CmdMark);

} // namespace
