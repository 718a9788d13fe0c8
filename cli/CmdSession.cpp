// scorivo-cli session new: a marking raw file with an empty record store,
// after the same checks as the exam page.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "exam/ExamSetup.h"
#include "marking/RawFile.h"
#include "marking/SessionState.h"
#include "platform/Files.h"
#include "students/StudentFile.h"

namespace {

std::vector<std::string> Split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// "1-10:2:S,11-20:3:M" -> rows of the question score table.
bool ParseGroups(const std::string& text, std::vector<std::vector<std::string>>& rows, std::string& error)
{
    for (const std::string& item : Split(text, ',')) {
        std::vector<std::string> f = Split(item, ':');
        std::vector<std::string> range = f.size() == 3 ? Split(f[0], '-') : std::vector<std::string>{};
        if (range.size() != 2 || (f[2] != "S" && f[2] != "M")) {
            error = "bad group \"" + item + "\" (expected FIRST-LAST:SCORE:S or FIRST-LAST:SCORE:M)";
            return false;
        }
        rows.push_back({range[0], range[1], f[1], f[2] == "S" ? kSingleChoiceText : kMultipleChoiceText});
    }
    return true;
}

// "1-5,11:1,12-20:0.5/" -> rules "1-5,11" / "1" and "12-20" / "0.5/". A
// question list may hold commas, so a rule ends at the item carrying its ":";
// ";" also separates rules.
bool ParseRules(const std::string& text, std::vector<std::vector<std::string>>& rows, std::string& error)
{
    std::string pending;
    for (std::string item : Split(text, ',')) {
        for (const std::string& piece : Split(item, ';')) {
            if (piece.empty() && pending.empty())
                continue;
            pending += pending.empty() ? piece : "," + piece;
            std::size_t colon = pending.find(':');
            if (colon == std::string::npos)
                continue;
            rows.push_back({pending.substr(0, colon), pending.substr(colon + 1)});
            pending.clear();
        }
    }
    if (!pending.empty()) {
        error = "bad rule \"" + pending + "\" (expected QUESTIONS:PARTIAL, e.g. 11-20:0.5/)";
        return false;
    }
    return true;
}

int SessionNew(const std::vector<std::string>& args)
{
    auto o = cli::ParseOptions(args, {"--out", "--template", "--roster", "--exam-name", "--subject", "--groups",
                                      "--rules"},
                               {"--subjective", "--force"});
    for (const char* required : {"--out", "--template", "--roster", "--exam-name", "--subject", "--groups"})
        if (o.error.empty() && !o.Has(required))
            o.error = std::string("missing ") + required;
    if (o.error.empty() && !o.positional.empty())
        o.error = "unexpected argument " + o.positional[0];
    if (!o.error.empty()) {
        std::fprintf(stderr, "scorivo-cli session new: %s\n", o.error.c_str());
        return 2;
    }

    // A new session over an existing raw file would throw away its records.
    const std::filesystem::path out = files::FromUtf8(o.Get("--out"));
    std::error_code ec;
    if (!o.flags.count("--force") && std::filesystem::exists(std::filesystem::symlink_status(out, ec))) {
        std::fprintf(stderr, "scorivo-cli session new: %s 已经存在，没有覆盖（要替换它和其中的阅卷记录，请加 --force）\n",
                     o.Get("--out").c_str());
        return 1;
    }
    files::FileLock lock;
    std::string lockError;
    if (const auto locked = lock.Lock(out, &lockError); locked != files::FileLock::Result::Taken) {
        std::fprintf(stderr, "scorivo-cli session new: %s: %s\n", o.Get("--out").c_str(), lockError.c_str());
        return locked == files::FileLock::Result::HeldByAnother ? 4 : 1;
    }

    auto state = NewMarkingSessionState();
    const std::string templateName = o.Get("--template");
    std::string message;
    if (!LoadCardTemplate(cli::UserFolder(), templateName, state->cardTemplate, message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return 1;
    }
    state->templateName = templateName;
    if (!ReadStudentFile(files::FromUtf8(o.Get("--roster")), state->roster, &message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return 1;
    }

    const CardTemplate& t = state->cardTemplate;
    if (std::string why = AdmissionLengthOnCardProblem(state->roster.admissionLength, t.AdmColumns); !why.empty()) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    ExamPageContent page = ShowExamPage(t, templateName, state->exam);
    page.examName = o.Get("--exam-name");
    const std::string subject = o.Get("--subject");
    page.subjectIndex = -1;
    for (int i = 0; i < std::min(t.SubjectCount, card_limits::MaxSubjects); ++i)
        if (t.Subjects[i].code.View() == subject)
            page.subjectIndex = i;
    if (page.subjectIndex < 0) {
        std::fprintf(stderr, "科目代码 %s 不是这种答题卡的科目。\n", subject.c_str());
        return 1;
    }
    page.subjectiveIndex = o.flags.count("--subjective") ? 1 : 0;
    page.scoreRows.clear();
    page.ruleRows.clear();
    if (!ParseGroups(o.Get("--groups"), page.scoreRows, message) ||
        (o.Has("--rules") && !ParseRules(o.Get("--rules"), page.ruleRows, message))) {
        std::fprintf(stderr, "scorivo-cli session new: %s\n", message.c_str());
        return 2;
    }
    ExamPageCheck check = CheckExamPage(t, page, state->exam);
    if (!check.passed) {
        std::fprintf(stderr, "%s\n", check.message.c_str());
        return 1;
    }
    MarkingFileResult saved = SaveMarkingFileTo(*state, out);
    if (!saved.ok) {
        std::fprintf(stderr, "%s\n", saved.message.c_str());
        return 1;
    }
    std::printf("%s\n", files::ToUtf8(saved.path).c_str());
    return 0;
}

const cli::CommandRegistrar registerSessionNew(
    "session new",
    "session new --out FILE.yj --template NAME --roster FILE.xs --exam-name TEXT --subject CODE [--subjective] "
    "--groups \"1-10:2:S,11-20:3:M\" [--rules \"11-20:0.5/\"] [--force]",
    SessionNew);

} // namespace
