// scorivo-cli export and stats: the output page's score table and statistics
// from a marking raw file, written straight to --out (no program is opened).
// A bad argument is refused with exit code 2 before anything is written.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "cli/GradeClassOptions.h"
#include "marking/RawFile.h"
#include "marking/SessionState.h"
#include "platform/Files.h"
#include "results/ScoreOutput.h"
#include "results/Spreadsheet.h"
#include "results/Statistics.h"

namespace {

std::vector<std::string> SplitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(',', start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

bool EndsWith(const std::string& s, const std::string& suffix)
{
    if (s.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = s[s.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != suffix[i])
            return false;
    }
    return true;
}

// An output over the session it reads would replace the teacher's records
// by a score table; over another raw file, another session's. Either is
// refused before anything is read.
std::string OutputOverRawFile(const std::string& out, const std::string& session)
{
    const std::filesystem::path outPath = files::FromUtf8(out);
    if (files::SameFile(outPath, files::FromUtf8(session)))
        return out + " 就是要读的阅卷原始文件，没有覆盖它，请另选一个输出文件";
    if (LooksLikeMarkingFile(outPath))
        return out + " 是一个阅卷原始文件，没有覆盖它，请另选一个输出文件";
    return {};
}

struct Loaded {
    std::unique_ptr<MarkingSessionState> state;
    GradeClassChoice choice;
};

// Reads --session and turns --grade/--class into the page's choice. Returns
// 0, or the exit code after printing why.
int LoadSessionAndChoice(const char* command, const cli::ParsedOptions& o, Loaded& loaded)
{
    auto usage = [&](const std::string& why) {
        std::fprintf(stderr, "scorivo-cli %s: %s\n", command, why.c_str());
        return 2;
    };
    loaded.state = NewMarkingSessionState();
    MarkingFileResult opened = OpenMarkingFile(*loaded.state, files::FromUtf8(o.Get("--session")));
    if (!opened.ok)
        return usage(o.Get("--session") + ": " + opened.message);
    const StudentRoster& roster = loaded.state->roster;

    if (std::string why = cli::ChooseGradeClass(roster, o, loaded.choice); !why.empty())
        return usage(why);
    return 0;
}

int Export(const std::vector<std::string>& args)
{
    auto o = cli::ParseOptions(args, {"--session", "--items", "--grade", "--class", "--order", "--out"}, {"--absent"});
    auto usage = [](const std::string& why) {
        std::fprintf(stderr, "scorivo-cli export: %s\n", why.c_str());
        return 2;
    };
    if (!o.error.empty())
        return usage(o.error);
    if (!o.positional.empty())
        return usage("unexpected argument " + o.positional[0]);
    for (const char* required : {"--session", "--items"})
        if (!o.Has(required))
            return usage(std::string("missing ") + required);
    // Without --out, where the window's score output goes.
    const std::string out =
        o.Has("--out") ? o.Get("--out") : files::ToUtf8(cli::UserFolder() / files::FromUtf8("成绩输出") / "Result.csv");
    const bool csv = EndsWith(out, ".csv");
    if (!csv && !EndsWith(out, ".xlsx"))
        return usage("--out must name a .xlsx or a .csv file");
    if (std::string why = OutputOverRawFile(out, o.Get("--session")); !why.empty())
        return usage(why);

    ScoreOutputRequest request;
    for (const std::string& name : SplitCommas(o.Get("--items"))) {
        auto item = OutputItemFromText(name);
        if (!item)
            return usage("unknown item \"" + name + "\" (items: 准考证号,姓名,总得分,主观题分,选择题分,大题得分情况,"
                                                    "多选,少选,错选,多选题号,少选题号,错选题号)");
        for (OutputItem chosen : request.items)
            if (chosen == *item)
                return usage("item \"" + name + "\" is given twice");
        request.items.push_back(*item);
    }
    const std::string order = o.Get("--order", "number");
    if (order != "number" && order != "total")
        return usage("--order must be number or total");
    request.order = order == "total" ? RowOrder::ByTotal : RowOrder::ByNumber;
    request.includeAbsent = o.flags.count("--absent") != 0;

    Loaded loaded;
    if (int code = LoadSessionAndChoice("export", o, loaded))
        return code;
    request.roster = &loaded.state->roster;
    request.exam = &loaded.state->exam;
    request.session = &loaded.state->session;
    request.choice = loaded.choice;
    if (std::string problem = CheckScoreOutput(*request.roster, request.choice, request.items); !problem.empty())
        return usage(problem);

    std::string error;
    bool ok = false;
    if (csv) {
        ok = files::WriteAtomic(files::FromUtf8(out), ScoreCsvText(request), &error);
    } else {
        sheet::Workbook book;
        WriteScoreSheet(book.ActiveSheet(), request);
        ok = book.SaveAs(files::FromUtf8(out), &error);
    }
    if (!ok) {
        std::fprintf(stderr, "scorivo-cli export: %s: %s\n", out.c_str(), error.c_str());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    for (const std::string& line : ListUnmarkedStudents(*request.roster, *request.session, request.choice).lines)
        std::printf("%s\n", line.c_str());
    return 0;
}

int Stats(const std::vector<std::string>& args)
{
    auto o = cli::ParseOptions(args, {"--session", "--grade", "--class", "--wrong", "--right", "--out"},
                               {"--average", "--question-rates", "--group-rates"});
    auto usage = [](const std::string& why) {
        std::fprintf(stderr, "scorivo-cli stats: %s\n", why.c_str());
        return 2;
    };
    if (!o.error.empty())
        return usage(o.error);
    if (!o.positional.empty())
        return usage("unexpected argument " + o.positional[0]);
    for (const char* required : {"--session", "--out"})
        if (!o.Has(required))
            return usage(std::string("missing ") + required);
    const std::string out = o.Get("--out");
    if (!EndsWith(out, ".xlsx"))
        return usage("--out must name a .xlsx file");
    if (std::string why = OutputOverRawFile(out, o.Get("--session")); !why.empty())
        return usage(why);

    StatisticsOptions options;
    options.average = o.flags.count("--average") != 0;
    options.questionRates = o.flags.count("--question-rates") != 0;
    options.groupRates = o.flags.count("--group-rates") != 0;
    options.wrongList = o.Has("--wrong");
    options.wrongRange = o.Get("--wrong");
    options.rightList = o.Has("--right");
    options.rightRange = o.Get("--right");

    Loaded loaded;
    if (int code = LoadSessionAndChoice("stats", o, loaded))
        return code;
    const MarkingSessionState& s = *loaded.state;
    if (std::string problem = CheckStatistics(s.roster, s.exam, loaded.choice, options); !problem.empty())
        return usage(problem);

    StatisticsModel model = ComputeStatistics(s.roster, s.exam, s.session, loaded.choice, options);
    sheet::Workbook book;
    BuildStatisticsWorkbook(book, model, options);
    std::string error;
    if (!book.SaveAs(files::FromUtf8(out), &error)) {
        std::fprintf(stderr, "scorivo-cli stats: %s: %s\n", out.c_str(), error.c_str());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    std::printf("学生人数：%d\n已阅卷人数：%d\n缺考人数：%d\n", model.students, model.marked, model.absent);
    if (model.marked > 0)
        std::printf("平均分：%.2f\n", model.total.mean);
    return 0;
}

const cli::CommandRegistrar registerExport(
    "export",
    "export --session FILE.yj --items LIST [--grade CODE] [--class CODE|ALL] [--order number|total] [--absent] "
    "[--out FILE.xlsx|FILE.csv]   (default: 成绩输出/Result.csv in the user's folder)",
    Export);

const cli::CommandRegistrar registerStats(
    "stats",
    "stats --session FILE.yj [--grade CODE] [--class CODE|ALL] [--average] [--question-rates] [--group-rates] "
    "[--wrong RANGES] [--right RANGES] --out FILE.xlsx",
    Stats);

} // namespace
