#include "cardprint/DemoStack.h"

#include "cardprint/Prng.h"
#include "cardprint/ShippedCards.h"

namespace cardprint {

namespace {
constexpr int kQuestions = 85;
constexpr int kOptions = 4;

std::vector<std::string> Key()
{
    SplitMix64 rng(20240601);
    std::vector<std::string> key;
    for (int q = 0; q < kQuestions; ++q)
        key.emplace_back(1, static_cast<char>('A' + rng.Below(kOptions)));
    return key;
}

// A student's answers: right with probability `skill`, otherwise a wrong
// letter or (rarely) nothing.
std::vector<std::string> StudentAnswers(const std::vector<std::string>& key, double skill, uint64_t seed)
{
    SplitMix64 rng(seed);
    std::vector<std::string> out;
    for (const std::string& k : key) {
        if (rng.Chance(skill)) {
            out.push_back(k);
        } else if (rng.Chance(0.12)) {
            out.emplace_back();
        } else {
            char wrong = static_cast<char>('A' + (k[0] - 'A' + 1 + rng.Below(kOptions - 1)) % kOptions);
            out.emplace_back(1, wrong);
        }
    }
    return out;
}
} // namespace

std::string DemoTemplateName() { return "DY标准85题自动AB卷.dat"; }
std::string DemoSubjectCode() { return "02"; }

std::vector<DemoCard> DemoCardStack()
{
    const std::vector<std::string> key = Key();
    const StudentRoster roster = ShippedRoster();
    std::vector<DemoCard> stack;

    DemoCard standard;
    standard.card.abType = 0;
    standard.card.subject = DemoSubjectCode();
    standard.card.score = "000";
    standard.card.answers = key;
    standard.card.markSeed = 1000;
    standard.note = "标准答案";
    stack.push_back(standard);

    // Eight students of class 01 and four of class 02.
    const int picks[12] = {0, 1, 2, 3, 4, 5, 6, 7, 20, 21, 22, 23};
    const double skills[12] = {0.95, 0.8, 0.7, 0.9, 0.6, 0.85, 0.75, 1.0, 0.65, 0.9, 0.8, 0.55};
    const char* const scores[12] = {"052", "045", " 38", "049", "030", "041", "036", "055", "033", "047", "040", "027"};
    for (int i = 0; i < 12; ++i) {
        const StudentEntry& s = roster.students[picks[i]];
        DemoCard d;
        d.card.abType = (i % 3 == 2) ? 1 : 0;  // every third student has paper B
        d.card.admission = std::string(s.admissionNumber.View());
        d.card.subject = DemoSubjectCode();
        d.card.score = scores[i];
        d.card.answers = StudentAnswers(key, skills[i], 5000 + static_cast<uint64_t>(i));
        d.card.markSeed = 2000 + static_cast<uint64_t>(i);
        d.studentName = s.name.Utf8();
        d.note = "学生答题卡";
        if (i == 3) {
            // Changed the mind on question 7: the first choice rubbed out.
            int wrong = (d.card.answers[6].empty() ? 0 : d.card.answers[6][0] - 'A' + 1) % kOptions;
            d.card.strays.push_back({PencilMark::Erased, 6, wrong});
            d.note = "学生答题卡（第7题有擦除痕迹）";
        }
        if (i == 6) {
            d.card.answers[11].clear();
            d.card.strays.push_back({PencilMark::TooLight, 11, 2});
            d.note = "学生答题卡（第12题涂得太淡）";
        }
        stack.push_back(d);
    }

    // The second student's card again: a re-read with the same answers.
    DemoCard reread = stack[2];
    // Same paper, same pencil marks; only the camera's view differs.
    reread.note = "同一张答题卡再读一次";
    stack.push_back(reread);

    DemoCard stranger;
    stranger.card.abType = 0;
    stranger.card.admission = "030000007";  // class 03 is not on the roster
    stranger.card.subject = DemoSubjectCode();
    stranger.card.score = "044";
    stranger.card.answers = StudentAnswers(key, 0.8, 9000);
    stranger.card.markSeed = 9000;
    stranger.note = "学生名单中没有的学生";
    stack.push_back(stranger);
    return stack;
}

} // namespace cardprint
