// The second printed-card corpus (IndependentCards.h) read by the whole
// reading: every shipped card, students filling it with ovals, scribbles
// and heavy ticks, light to dark, up to a fifth of a cell off the bubble,
// some rubbed out; photographed inside the envelope the reader accepts.
// A frame is read right, refused, or read WRONG (a reading that differs
// without a refusal: the failure that reaches a student's score).
//
// Refused, as the reading session would refuse: any code other than 0; an
// admission number with a blank or unclear column (no roster holds it); a
// subject other than written when nothing else was read wrong (the exam's
// subject check). "For doubt": code 13 sent back by a rule of the answers
// (the question doubtful, ink off the centre, ...).
//
// SCORIVO_INDEPENDENT_FRAMES   frames per card (default 8; the full run is 400)
// SCORIVO_INDEPENDENT_SEED     another corpus (default 4177)
// SCORIVO_INDEPENDENT_CARD     only cards whose file name contains this text
// SCORIVO_INDEPENDENT_ONLY     read only frame N of each card
// SCORIVO_INDEPENDENT_VERBOSE  list every frame not read right, with its rule and marks
// SCORIVO_INDEPENDENT_DUMP     save the frames not read right into this folder as PNG (with
//                              _ONLY, that frame whatever its reading), and each page with the
//                              bubbles found on it
// To tell which part of the making a refusal comes from, without changing the draws:
// SCORIVO_INDEPENDENT_GREY=1      the print turned grey before the marks (read without the
//                                 machine card's colour check)
// SCORIVO_INDEPENDENT_CLEAN=LIST  parts made ideal, comma-separated or "all": print (the
//                                 template's own colours), light (even), colour (balanced,
//                                 no saturating matrix, no fringes),
//                                 noise (none), chroma (no compression, full chroma),
//                                 blur (no defocus, no sharpening)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "IndependentCards.h"
#include "cardprint/ShippedCards.h"
#include "recognition/CardLayout.h"
#include "support/WholeCardReading.h"

namespace {

using namespace indcorpus;

int Knob(const char *name, int otherwise)
{
    const char *v = std::getenv(name);
    return v && *v ? std::atoi(v) : otherwise;
}

// The rasterised pages and, per card and AB type, the page and its survey:
// made once for the whole run.
struct Sheet {
    const cv::Mat *page = nullptr;
    PageSurvey survey;
};

struct Printed {
    std::vector<cardprint::ShippedCard> cards = cardprint::ShippedCards();
    std::vector<cv::Mat> pages;
    std::map<std::pair<std::size_t, int>, Sheet> sheets;
    std::string error;

    Printed()
    {
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() / ("scorivo-independent-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        pages = DrawPdfPages(std::string(SCORIVO_SOURCE_DIR) + "/data/答题卡.pdf", folder.string(), &error);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        // One page per card, two for a card whose AB type is read (A, then B).
        std::size_t next = 0;
        for (std::size_t c = 0; c < cards.size(); ++c) {
            const CardTemplate &t = cards[c].record;
            const int types = t.AbMode == 0 ? 2 : 1;
            for (int k = 0; k < types; ++k, ++next) {
                if (next >= pages.size())
                    return;
                const int abType = t.AbMode == 2 ? 1 : k;
                sheets[{c, abType}] = {&pages[next], SurveyPage(pages[next], t, abType)};
            }
        }
        if (next != pages.size())
            error = "the PDF has " + std::to_string(pages.size()) + " pages, the cards " + std::to_string(next);
    }
};

const Printed &Print()
{
    static const Printed printed;
    return printed;
}

bool IsMultipleChoice(int q, int count)
{
    // The last fifth of the paper: multiple choice, as exams put it at the end.
    return q >= count - count / 5;
}

struct Truth {
    int abType = 0;
    std::string admission, subject, score;
    float scoreValue = 0;
    std::vector<std::string> answers;
};

Truth Draw(const CardTemplate &t, Dice &dice)
{
    Truth w;
    w.abType = t.AbMode == 0 ? dice.Index(2) : t.AbMode == 1 ? 0 : 1;
    const bool standardAnswer = dice.Odds(0.08);
    for (int i = 0; i < t.AdmColumns; ++i)
        w.admission += standardAnswer ? ' ' : static_cast<char>('0' + dice.Index(10));
    w.subject = std::string(static_cast<std::size_t>(std::max(t.SubjColumns - 1, 0)), '0') +
                static_cast<char>('1' + dice.Index(std::min(t.SubjRows, 10) - 1));
    if (t.ScoreColumns > 0) {
        const int columns = std::min(t.ScoreColumns, 4);
        const int value = dice.Odds(0.7) ? dice.Index(151)
                                         : dice.Index(columns >= 4   ? 10000
                                                      : columns == 3 ? 1000
                                                                     : 100);
        const std::string digits = std::to_string(value);
        w.score = std::string(static_cast<std::size_t>(columns) - std::min<std::size_t>(digits.size(), columns),
                              dice.Odds(0.4) ? '0' : ' ') +
                  digits;
        w.scoreValue = static_cast<float>(value);
    }
    for (int q = 0; q < t.QuestionCount; ++q) {
        const int options = LayoutQuestion(t, w.abType, q).options;
        std::string a;
        if (IsMultipleChoice(q, t.QuestionCount)) {
            for (int j = 0; j < options; ++j)
                if (dice.Odds(0.45))
                    a += static_cast<char>('A' + j);
        } else if (options > 0 && !dice.Odds(0.08)) {
            a += static_cast<char>('A' + dice.Index(options));
        }
        w.answers.push_back(a);
    }
    return w;
}

// How one student fills a card: a favourite shape, size, pressure and
// slant, each mark varying around them; some aim every mark the same way
// off the bubble (at the middle of the cell above it, say), in cells.
struct Student {
    MarkShape shape = MarkShape::Oval;
    double size = 1, graphite = 60, strokeMm = 0.5, slantDeg = 0;
    cv::Point2d aim{0, 0};
};

Student DrawStudent(Dice &dice)
{
    Student s;
    const double pick = dice.Uniform(0, 1);
    s.shape = pick < 0.5 ? MarkShape::Oval : pick < 0.85 ? MarkShape::Scribble : MarkShape::Tick;
    s.size = dice.Uniform(0.7, 1.5);
    s.graphite = dice.Uniform(25, 110);
    s.strokeMm = dice.Uniform(0.35, 0.7);
    s.slantDeg = dice.Odds(0.75) ? dice.Uniform(-30, 30) : dice.Uniform(65, 115);
    if (dice.Odds(0.35)) {
        // Half of them up, at the cell's middle rather than its bubble.
        const double way = dice.Odds(0.5) ? -1.5708 + dice.Uniform(-0.4, 0.4) : dice.Uniform(0, 6.2832);
        const double by = dice.Uniform(0.08, 0.16);
        s.aim = {by * std::cos(way), by * std::sin(way)};
    }
    return s;
}

struct Filled {
    std::vector<PencilMark> marks;
    // For the listings: what lies in a cell, as "oval 1.12x g64 off 0.03,-0.15"
    // (size against the bubble, graphite grey, offset in cells, y down).
    struct Note {
        std::string text;
        cv::Point2d page;
    };
    std::map<CellKey, Note> what;
};

Filled Fill(const CardTemplate &t, const Truth &w, const PageSurvey &survey, const Student &s, Dice &dice)
{
    Filled f;
    auto put = [&](CellPos cell, bool rubbedOut) {
        const auto found = survey.bubbles.find({cell.col, cell.row});
        if (found == survey.bubbles.end())
            return;
        const FoundBubble &b = found->second;
        PencilMark m;
        m.shape = dice.Odds(0.75) ? s.shape : static_cast<MarkShape>(dice.Index(3));
        const double size = std::clamp(s.size * dice.Uniform(0.92, 1.08), 0.7, 1.5);
        m.rx = b.size.width / 2 * size;
        m.ry = b.size.height / 2 * size;
        // Up to a fifth of a cell off the bubble, any way: around the
        // student's aim, a scatter of its own.
        const double angle = dice.Uniform(0, 6.2832);
        const double scatter = (s.aim == cv::Point2d() ? 0.2 : 0.08) * std::sqrt(dice.Uniform(0, 1));
        cv::Point2d off = s.aim + scatter * cv::Point2d(std::cos(angle), std::sin(angle));
        off *= std::min(1.0, 0.2 / std::max(cv::norm(off), 1e-9));
        m.centre = b.centre + cv::Point2d(off.x * survey.pitchX, off.y * survey.pitchY);
        m.angleDeg = m.shape == MarkShape::Scribble ? s.slantDeg + dice.Uniform(-10, 10) : dice.Uniform(-12, 12);
        m.graphite = std::clamp(s.graphite + dice.Uniform(-8, 8), 25.0, 110.0);
        m.strokePx = s.strokeMm * PagePixelsPerMm * dice.Uniform(0.85, 1.15);
        m.rubbedOut = rubbedOut;
        f.marks.push_back(m);
        static const char *const shapes[] = {"oval", "scribble", "tick"};
        char text[96];
        std::snprintf(text, sizeof text, "%s%s %.2fx g%.0f off %.2f,%.2f", rubbedOut ? "rubbed " : "",
                      shapes[static_cast<int>(m.shape)], size, m.graphite, off.x, off.y);
        f.what[{cell.col, cell.row}] = {text, m.centre};
    };
    if (t.AbMode == 0)
        put(w.abType == 0 ? CellPos{t.AbACol, t.AbARow} : CellPos{t.AbBCol, t.AbBRow}, false);
    auto digits = [&](const std::string &text, float col, float row, int rows) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == ' ')
                continue;
            const int d = text[i] - '0';
            put(DigitCell(col, row, static_cast<int>(i), d), false);
            if (dice.Odds(0.03))
                put(DigitCell(col, row, static_cast<int>(i), (d + 1 + dice.Index(rows - 1)) % rows), true);
        }
    };
    digits(w.admission, t.AdmCol, t.AdmRow, 10);
    digits(w.subject, t.SubjCol, t.SubjRow, t.SubjRows);
    digits(w.score, t.ScoreCol, t.ScoreRow, 10);
    for (int q = 0; q < t.QuestionCount; ++q) {
        const QuestionLayout lay = LayoutQuestion(t, w.abType, q);
        const std::string &a = w.answers[static_cast<std::size_t>(q)];
        for (char letter : a)
            put(OptionCell(lay, q % 5, letter - 'A'), false);
        // A change of mind: a rubbed-out mark on an option left empty.
        const int other = dice.Index(std::max(lay.options, 1));
        if (dice.Odds(0.05) && a.find(static_cast<char>('A' + other)) == std::string::npos)
            put(OptionCell(lay, q % 5, other), true);
    }
    return f;
}

// What the student did in question q's cells, for the listings: "B:mark C:rubbed".
// With the camera's projection, where each mark lies in the frame.
std::string MarksOf(const CardTemplate &t, const Truth &w, const Filled &f, int q, const Projection &seen)
{
    if (q < 0 || q >= t.QuestionCount)
        return {};
    const QuestionLayout lay = LayoutQuestion(t, w.abType, q);
    std::string out;
    for (int j = 0; j < lay.options; ++j) {
        const CellPos c = OptionCell(lay, q % 5, j);
        const auto it = f.what.find({c.col, c.row});
        if (it == f.what.end())
            continue;
        const cv::Point2d at = seen(it->second.page);
        char where[40];
        std::snprintf(where, sizeof where, " at %.0f,%.0f;", at.x, at.y);
        out += std::string(" ") + static_cast<char>('A' + j) + ": " + it->second.text + where;
    }
    return out;
}

enum class Outcome { Right, Refused, Wrong };

// Judges a reading accepted with code 0; `listing` gets what differs.
Outcome Judge(const WholeCardReading &r, const Truth &w, const Filled &f, const Projection &seen, std::string &listing)
{
    const CardReading &got = r.Context().Reading;
    const std::string number(got.admissionNumber.View());
    if (number != w.admission && number.find_first_of(" ?") != std::string::npos) {
        listing += " admission '" + number + "' for '" + w.admission + "'";
        return Outcome::Refused;
    }
    std::string wrong;
    if (number != w.admission)
        wrong += " admission '" + number + "' for '" + w.admission + "'";
    if (got.paperType != w.abType)
        wrong += " AB type " + std::to_string(got.paperType) + " for " + std::to_string(w.abType);
    const std::string subject(r.Context().SubjectCode.View());
    if (subject != w.subject && wrong.empty()) {
        listing += " subject '" + subject + "' for '" + w.subject + "'";
        return Outcome::Refused;
    }
    if (r.Exam().hasSubjectiveScore && got.subjectiveScore != w.scoreValue)
        wrong += " score " + std::to_string(got.subjectiveScore) + " for '" + w.score + "'";
    for (int q = 0; q < r.Exam().questionCount; ++q) {
        const std::string read(got.questionResults[q].answer.View());
        if (read != w.answers[static_cast<std::size_t>(q)])
            wrong += " q" + std::to_string(q + 1) + " read '" + read + "' for '" +
                     w.answers[static_cast<std::size_t>(q)] + "' (" + MarksOf(r.Context().Template, w, f, q, seen) +
                     " )";
    }
    listing += wrong;
    return wrong.empty() ? Outcome::Right : Outcome::Wrong;
}

// The parts of the camera that SCORIVO_INDEPENDENT_CLEAN names, made ideal.
bool CleanPart(const std::string &parts, const char *part)
{
    return parts == "all" || ("," + parts + ",").find(std::string(",") + part + ",") != std::string::npos;
}

void Clean(Exposure &e, const std::string &parts)
{
    auto named = [&parts](const char *part) { return CleanPart(parts, part); };
    if (named("light")) {
        e.slope = e.shadowDepth = e.flicker = e.vignette = 0;
    }
    if (named("colour")) {
        e.lampKelvin = 5000;
        e.tintGreen = e.greyWorld = e.fringe = 0;
        e.saturation = 1;
    }
    if (named("noise")) {
        e.fullWell = 1e12;
        e.readNoise = 0;
    }
    if (named("chroma"))
        e.compressed = false;
    if (named("blur"))
        e.defocusPx = e.sharpen = 0;
}

struct Count {
    int right = 0, refused = 0, wrong = 0, doubt = 0;
    std::map<int, int> codes;
    std::map<std::string, int> rules;
};

TEST(IndependentCorpus, EveryBubbleIsFoundOnItsPage)
{
    const Printed &p = Print();
    ASSERT_TRUE(p.error.empty()) << p.error;
    ASSERT_FALSE(p.sheets.empty());
    for (const auto &[key, sheet] : p.sheets) {
        const cardprint::ShippedCard &card = p.cards[key.first];
        const CardTemplate &t = card.record;
        const PageSurvey &s = sheet.survey;
        const std::string name = card.fileName + " AB type " + std::to_string(key.second);
        if (const char *dump = std::getenv("SCORIVO_INDEPENDENT_DUMP"); dump && *dump) {
            // The page with each found bubble's box, to look at.
            cv::Mat shown = sheet.page->clone();
            for (const auto &[cell, b] : s.bubbles)
                cv::rectangle(shown, cv::Rect2d(b.centre - cv::Point2d(b.size.width, b.size.height) / 2, b.size),
                              cv::Scalar(255, 80, 0), 1);
            cv::imwrite(std::string(dump) + "/survey-" + std::to_string(key.first) + "-" + std::to_string(key.second) +
                            ".png",
                        shown);
        }
        EXPECT_TRUE(s.missing.empty()) << name << ": " << s.missing.size() << " bubbles not found, the first at col "
                                       << (s.missing.empty() ? 0 : s.missing[0].col) << " row "
                                       << (s.missing.empty() ? 0 : s.missing[0].row);
        // Found one by one, the options of a question still lie one cell
        // apart along the question and in line across it: each found bubble
        // is its own cell's, not a neighbour's or a label.
        for (int q = 0; q < t.QuestionCount; ++q) {
            const QuestionLayout lay = LayoutQuestion(t, key.second, q);
            if (!lay.placed || (lay.orientation != 0 && lay.orientation != 1))
                continue;
            for (int j = 1; j < lay.options; ++j) {
                const CellPos a = OptionCell(lay, q % 5, j - 1), b = OptionCell(lay, q % 5, j);
                const auto fa = s.bubbles.find({a.col, a.row}), fb = s.bubbles.find({b.col, b.row});
                if (fa == s.bubbles.end() || fb == s.bubbles.end())
                    continue;
                const cv::Point2d step = fb->second.centre - fa->second.centre;
                const double along = lay.orientation == 0 ? step.x / s.pitchX : step.y / s.pitchY;
                const double across = lay.orientation == 0 ? step.y / s.pitchY : step.x / s.pitchX;
                EXPECT_NEAR(std::fabs(along), 1.0, 0.05) << name << " q" << q + 1 << " option " << j;
                EXPECT_NEAR(across, 0.0, 0.05) << name << " q" << q + 1 << " option " << j;
                EXPECT_NEAR(fb->second.size.width, fa->second.size.width, 0.1 * s.pitchX) << name << " q" << q + 1;
            }
        }
    }
}

// The projection is the camera's geometry: where it says the bottom line's
// middle lands, the frame is darkest across the line.
TEST(IndependentCorpus, TheFrameShowsTheLinesWhereTheProjectionPutsThem)
{
    const Printed &p = Print();
    ASSERT_TRUE(p.error.empty()) << p.error;
    Dice dice(77);
    for (const auto &[key, sheet] : p.sheets) {
        Exposure e = RandomExposure(dice);
        e.shadowDepth = 0;
        const Projection project(sheet.survey, e);
        const cv::Mat frame = Photograph(*sheet.page, sheet.survey, e);
        ASSERT_EQ(frame.size(), cv::Size(640, 480));
        cv::Mat grey;
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
        const PrintedLine &line = sheet.survey.bottom;
        for (double share : {0.25, 0.5, 0.75}) {
            const double x = line.left + share * (line.right - line.left);
            const cv::Point2d at = project({x, line.y});
            const cv::Point2d across = project({x, line.y - 40}) - at;
            const cv::Point2d unit = across / cv::norm(across);
            // Darkness-weighted centre of a profile 6 px either side.
            double sum = 0, moment = 0;
            for (double t = -6; t <= 6; t += 0.25) {
                const cv::Point2d q = at + unit * t;
                const double dark = std::max(0.0, 170.0 - grey.at<uint8_t>(cvRound(q.y), cvRound(q.x)));
                sum += dark;
                moment += dark * t;
            }
            ASSERT_GT(sum, 0) << p.cards[key.first].fileName;
            EXPECT_NEAR(moment / sum, 0.0, 0.8) << p.cards[key.first].fileName << " at " << share;
        }
    }
}

// The truth is honest only if what it calls a mark looks like one and
// what it calls empty does not: the palest, smallest mark of each shape,
// centred, darkens much of the middle of its bubble; the darkest, largest
// rubbed-out mark leaves that middle far paler.
TEST(IndependentCorpus, MarksStandApartFromRubbedOutOnes)
{
    const Printed &p = Print();
    ASSERT_TRUE(p.error.empty()) << p.error;
    for (const auto &[key, sheet] : p.sheets) {
        const FoundBubble &b = sheet.survey.bubbles.begin()->second;
        // Darkness added over the middle of the bubble (60 % of its box each
        // way), and the share of that darkened by more than 60 levels.
        auto measure = [&](const PencilMark &m, uint64_t seed, double &added, double &covered) {
            cv::Mat page = sheet.page->clone();
            Dice dice(seed);
            DrawPencil(page, m, dice);
            const cv::Size2d middle = b.size * 0.6;
            const cv::Rect box(cv::Rect2d(b.centre - cv::Point2d(middle.width, middle.height) / 2, middle));
            cv::Mat before, after;
            cv::cvtColor((*sheet.page)(box), before, cv::COLOR_BGR2GRAY);
            cv::cvtColor(page(box), after, cv::COLOR_BGR2GRAY);
            cv::Mat diff;
            cv::subtract(before, after, diff, cv::noArray(), CV_32F);
            added = cv::mean(diff)[0];
            covered = cv::countNonZero(diff > 60) / static_cast<double>(box.area());
        };
        for (MarkShape shape : {MarkShape::Oval, MarkShape::Scribble, MarkShape::Tick}) {
            PencilMark m;
            m.shape = shape;
            m.centre = b.centre;
            m.rx = b.size.width / 2 * 0.7;
            m.ry = b.size.height / 2 * 0.7;
            m.graphite = 110;
            m.strokePx = 3.5;
            double palest = 0, share = 0, residue = 0, ignored = 0;
            measure(m, 5, palest, share);
            m.rx *= 1.5 / 0.7;
            m.ry *= 1.5 / 0.7;
            m.graphite = 25;
            m.rubbedOut = true;
            // The eraser lifts a different share each time: the worst of a few.
            for (uint64_t seed = 1; seed <= 6; ++seed) {
                double r = 0;
                measure(m, seed, r, ignored);
                residue = std::max(residue, r);
            }
            const std::string name = p.cards[key.first].fileName + " shape " + std::to_string(static_cast<int>(shape));
            EXPECT_GT(share, 0.6) << name;
            EXPECT_LT(residue, 0.45 * palest) << name << ": residue " << residue << ", palest mark " << palest;
        }
    }
}

TEST(IndependentCorpus, ShippedCardsReadRightOrRefuse)
{
    const Printed &p = Print();
    ASSERT_TRUE(p.error.empty()) << p.error;
    const int frames = Knob("SCORIVO_INDEPENDENT_FRAMES", 8);
    const int seed = Knob("SCORIVO_INDEPENDENT_SEED", 4177);
    const int only = Knob("SCORIVO_INDEPENDENT_ONLY", -1);
    const bool verbose = Knob("SCORIVO_INDEPENDENT_VERBOSE", 0) != 0;
    const char *cardFilter = std::getenv("SCORIVO_INDEPENDENT_CARD");
    const char *dump = std::getenv("SCORIVO_INDEPENDENT_DUMP");
    const bool grey = Knob("SCORIVO_INDEPENDENT_GREY", 0) != 0;
    const char *clean = std::getenv("SCORIVO_INDEPENDENT_CLEAN");
    for (std::size_t c = 0; c < p.cards.size(); ++c) {
        const cardprint::ShippedCard &card = p.cards[c];
        const CardTemplate &t = card.record;
        if (cardFilter && *cardFilter && card.fileName.find(cardFilter) == std::string::npos)
            continue;
        Dice dice(static_cast<uint64_t>(seed) * 2654435761u + c);
        auto multiple = [&t](int q) { return IsMultipleChoice(q, t.QuestionCount); };
        WholeCardReading narrow(t, card.fileName, 3, multiple), wide(t, card.fileName, 4, multiple);
        narrow.CheckCardColour(!grey);
        wide.CheckCardColour(!grey);
        Count n;
        for (int i = 0, kept = 0; kept < frames; ++i) {
            const Truth w = Draw(t, dice);
            const Student student = DrawStudent(dice);
            const PrintShade shade = RandomPrintShade(dice, IsJdTemplate(card.fileName));
            Exposure e = RandomExposure(dice);
            if (clean && *clean)
                Clean(e, clean);
            const uint64_t markSeed = dice.Seed();
            const Sheet &sheet = p.sheets.at({c, w.abType});
            const Projection seen(sheet.survey, e);
            if (!InEnvelope(sheet.survey, seen))
                continue;
            ++kept;
            if (only >= 0 && i != only)
                continue;
            cv::Mat page = sheet.page->clone();
            if (!(clean && CleanPart(clean, "print")))
                Reprint(page, shade);
            if (grey) {
                cv::cvtColor(page, page, cv::COLOR_BGR2GRAY);
                cv::cvtColor(page, page, cv::COLOR_GRAY2BGR);
            }
            Dice markDice(markSeed);
            const Filled filled = Fill(t, w, sheet.survey, student, markDice);
            for (const PencilMark &m : filled.marks)
                DrawPencil(page, m, markDice);
            const cv::Mat frame = Photograph(page, sheet.survey, e);
            WholeCardReading &r = i % 3 == 2 ? wide : narrow;
            const int code = r.Read(frame.data, frame.step).code;
            const RecognitionContext &ctx = r.Context();
            std::string listing;
            const Outcome o = code != 0 ? Outcome::Refused : Judge(r, w, filled, seen, listing);
            (o == Outcome::Right ? n.right : o == Outcome::Refused ? n.refused : n.wrong)++;
            // A frame looked at alone is saved whatever its reading.
            if (dump && *dump && (o != Outcome::Right || only >= 0))
                cv::imwrite(std::string(dump) + "/independent-" + std::to_string(c) + "-" + std::to_string(i) + ".png",
                            frame);
            if (o == Outcome::Right)
                continue;
            const std::string rule = ctx.RereadRule ? ctx.RereadRule : "";
            if (code != 0)
                ++n.codes[code];
            if (code == 13 && !rule.empty()) {
                ++n.rules[rule];
                n.doubt += rule != "skin near the cells";
            }
            if (o == Outcome::Wrong || verbose)
                std::printf("  %s #%d %s code %d%s%s%s |%s| row %.2f px turn %.1f tilt %.1f%s shade %.2f "
                            "lamp %.0f K defocus %.2f %s\n",
                            card.fileName.c_str(), i, o == Outcome::Wrong ? "WRONG" : "refused", code,
                            rule.empty() ? ""
                                         : (" rule '" + rule + "' at q" + std::to_string(ctx.RereadQuestion + 1) +
                                            " (" + MarksOf(t, w, filled, ctx.RereadQuestion, seen) + " )")
                                               .c_str(),
                            code ? " " : "", code ? ctx.StatusText.c_str() : "", listing.c_str(), e.rowPx, e.turnDeg,
                            e.tiltDeg, e.upsideDown ? " upside down" : "", shade.density, e.lampKelvin, e.defocusPx,
                            e.mjpg ? ("jpeg " + std::to_string(e.jpegQuality)).c_str() : "i420");
        }
        std::string codes, rules;
        for (const auto &[code, times] : n.codes)
            codes += " " + std::to_string(code) + "x" + std::to_string(times);
        for (const auto &[rule, times] : n.rules)
            rules += " '" + rule + "'x" + std::to_string(times);
        const int total = n.right + n.refused + n.wrong;
        std::printf(
            "independent %s: %d frames, %d right, %d refused (codes%s; rules%s), %d wrong, %d refused for doubt\n",
            card.fileName.c_str(), total, n.right, n.refused, codes.c_str(), rules.c_str(), n.wrong, n.doubt);
        EXPECT_EQ(n.wrong, 0) << card.fileName;
        // The full run's bar: 99.5 % read right. A small run says too little to hold a card to it.
        if (total >= 400) {
            EXPECT_GE(n.right * 1000, total * 995) << card.fileName;
        }
    }
}

} // namespace
