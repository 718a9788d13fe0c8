#include "IndependentCards.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "recognition/CardLayout.h"

namespace indcorpus {

namespace {

constexpr double Pi = 3.14159265358979323846;

double Rad(double deg)
{
    return deg * Pi / 180;
}

std::string Quoted(const std::string &s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

} // namespace

std::vector<cv::Mat> DrawPdfPages(const std::string &pdf, const std::string &folder, std::string *error)
{
    // Cairo rather than the splash rasteriser of the first corpus: another
    // anti-aliasing of the thin bubble outlines and the text.
#ifdef SCORIVO_PDFTOCAIRO
    const std::string tool = SCORIVO_PDFTOCAIRO;
#else
    const std::string tool = "pdftocairo";
#endif
    const std::string command =
        Quoted(tool) + " -png -r 254 " + Quoted(pdf) + " " + Quoted(folder + "/sheet") + " 2>/dev/null";
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (error)
            *error = "pdftocairo failed: " + command;
        return {};
    }
    std::vector<std::pair<int, std::filesystem::path>> numbered;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const std::string stem = entry.path().stem().string();
        if (entry.path().extension() == ".png" && stem.rfind("sheet-", 0) == 0)
            numbered.emplace_back(std::atoi(stem.c_str() + 6), entry.path());
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<cv::Mat> pages;
    for (const auto &[n, path] : numbered) {
        cv::Mat page = cv::imread(path.string(), cv::IMREAD_COLOR);
        if (page.empty()) {
            if (error)
                *error = "unreadable page " + path.string();
            return {};
        }
        pages.push_back(std::move(page));
    }
    if (pages.empty() && error)
        *error = "pdftocairo drew no page";
    return pages;
}

std::vector<CellKey> CellsOfCard(const CardTemplate &t, int abType)
{
    std::vector<CellKey> cells;
    auto add = [&](CellPos c) { cells.push_back({c.col, c.row}); };
    if (t.AbMode == 0) {
        add({t.AbACol, t.AbARow});
        add({t.AbBCol, t.AbBRow});
    }
    auto grid = [&](float col, float row, int columns, int rows) {
        for (int i = 0; i < columns; ++i)
            for (int j = 0; j < rows; ++j)
                add(DigitCell(col, row, i, j));
    };
    grid(t.AdmCol, t.AdmRow, t.AdmColumns, 10);
    grid(t.SubjCol, t.SubjRow, t.SubjColumns, t.SubjRows);
    grid(t.ScoreCol, t.ScoreRow, t.ScoreColumns, 10);
    for (int q = 0; q < t.QuestionCount; ++q) {
        const QuestionLayout lay = LayoutQuestion(t, abType, q);
        if (!lay.placed || (lay.orientation != 0 && lay.orientation != 1))
            continue;
        for (int j = 0; j < lay.options; ++j)
            add(OptionCell(lay, q % 5, j));
    }
    return cells;
}

namespace {

// How far each pixel is from white in its palest channel: paper 0, the
// coloured cards' tint 45-55, their outlines about 100, the grey outlines of
// the other cards about 40, black 255.
cv::Mat Darkness(const cv::Mat &bgr)
{
    std::array<cv::Mat, 3> ch;
    cv::split(bgr, ch.data());
    cv::Mat lightest = cv::min(cv::min(ch[0], ch[1]), ch[2]);
    return 255 - lightest;
}

// The two longest dark bars across the page, top first.
bool FindLines(const cv::Mat &darkness, PrintedLine &top, PrintedLine &bottom)
{
    cv::Mat black = darkness > 150, labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(black, labels, stats, centroids, 8, CV_32S);
    std::vector<PrintedLine> bars;
    for (int i = 1; i < n; ++i) {
        const int w = stats.at<int>(i, cv::CC_STAT_WIDTH), h = stats.at<int>(i, cv::CC_STAT_HEIGHT);
        if (w > darkness.cols / 3 && h * 25 < w) {
            const double x = stats.at<int>(i, cv::CC_STAT_LEFT);
            bars.push_back({x, x + w, centroids.at<double>(i, 1), static_cast<double>(h)});
        }
    }
    if (bars.size() < 2)
        return false;
    std::sort(bars.begin(), bars.end(),
              [](const auto &a, const auto &b) { return a.right - a.left > b.right - b.left; });
    top = bars[0].y < bars[1].y ? bars[0] : bars[1];
    bottom = bars[0].y < bars[1].y ? bars[1] : bars[0];
    return true;
}

// The outline nearest to `guess` in a window of a cell and a quarter. The
// darkest 2 % of the window give the print's level (outline and letter);
// seven tenths of it part print from tint (about half the outline's
// darkness on the coloured cards) and paper. A shape touching the window's
// edge belongs to something larger (a write-in box, a neighbour).
bool FindBubble(const cv::Mat &darkness, cv::Point2d guess, double pitchX, double pitchY, FoundBubble &found)
{
    cv::Rect window(static_cast<int>(guess.x - 0.62 * pitchX), static_cast<int>(guess.y - 0.62 * pitchY),
                    static_cast<int>(1.24 * pitchX), static_cast<int>(1.24 * pitchY));
    window &= cv::Rect(0, 0, darkness.cols, darkness.rows);
    if (window.width < 8 || window.height < 8)
        return false;
    const cv::Mat area = darkness(window);
    int histogram[256] = {};
    for (int y = 0; y < area.rows; ++y)
        for (int x = 0; x < area.cols; ++x)
            ++histogram[area.at<uint8_t>(y, x)];
    int peak = 255;
    for (int count = 0; peak > 0 && (count += histogram[peak]) < static_cast<int>(area.total()) / 50;)
        --peak;
    if (peak < 20)
        return false;
    cv::Mat print = area > 0.7 * peak, labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(print, labels, stats, centroids, 8, CV_32S);
    double best = 1e9;
    for (int i = 1; i < n; ++i) {
        const int x = stats.at<int>(i, cv::CC_STAT_LEFT), y = stats.at<int>(i, cv::CC_STAT_TOP);
        const int w = stats.at<int>(i, cv::CC_STAT_WIDTH), h = stats.at<int>(i, cv::CC_STAT_HEIGHT);
        if (x == 0 || y == 0 || x + w == area.cols || y + h == area.rows)
            continue;
        if (w < 0.3 * pitchX || w > 0.97 * pitchX || h < 0.25 * pitchY || h > 0.92 * pitchY)
            continue;
        const cv::Point2d centre(window.x + x + w / 2.0, window.y + y + h / 2.0);
        const double d = cv::norm(centre - guess);
        if (d < best) {
            best = d;
            found = {centre, cv::Size2d(w, h)};
        }
    }
    return best < 0.5 * std::max(pitchX, pitchY);
}

} // namespace

PageSurvey SurveyPage(const cv::Mat &page, const CardTemplate &t, int abType)
{
    PageSurvey s;
    const cv::Mat darkness = Darkness(page);
    const std::vector<CellKey> cells = CellsOfCard(t, abType);
    if (!FindLines(darkness, s.top, s.bottom) || t.LineLength <= 0 || t.LineDistance <= 0) {
        s.missing = cells;
        return s;
    }
    // Only the rough scale comes from the template: the lines' printed
    // length and distance against its units.
    const double perUnitX = (s.bottom.right - s.bottom.left + s.top.right - s.top.left) / 2 / t.LineLength;
    const double perUnitY = (s.bottom.y - s.top.y) / t.LineDistance;
    s.pitchX = perUnitX * t.CellWidth;
    s.pitchY = perUnitY * t.CellHeight;
    const double left = (s.bottom.left + s.top.left) / 2;
    for (const CellKey &c : cells) {
        const double u = t.OriginOffset + (c.col + 0.5) * t.CellWidth;
        const double v = t.LineDistance + (c.row - 0.5) * t.CellHeight;
        FoundBubble b;
        if (FindBubble(darkness, {left + u * perUnitX, s.bottom.y - v * perUnitY}, s.pitchX, s.pitchY, b))
            s.bubbles[c] = b;
        else
            s.missing.push_back(c);
    }
    return s;
}

PrintShade RandomPrintShade(Dice &dice, bool colourPrint)
{
    PrintShade p;
    const double cross = colourPrint ? 0.14 : 0.03;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            p.mix(i, j) = i == j ? dice.Uniform(colourPrint ? 0.85 : 0.95, colourPrint ? 1.15 : 1.05)
                                 : dice.Uniform(-cross / 2, cross);
    // From a printer low on toner to one that lays it on thick.
    p.density = dice.Uniform(0.65, 1.35);
    p.paper = {dice.Uniform(0, 0.05), dice.Uniform(0, 0.02), dice.Uniform(0, 0.01)};
    return p;
}

void Reprint(cv::Mat &page, const PrintShade &shade)
{
    // The ink's absorption a = 1 - p / 255 goes to density * mix * a, over
    // the paper's own: out = (1 - paper) * (1 - a'). Affine in the pixel, so
    // one transform does it (clamping where a' leaves 0..1).
    cv::Matx34d m;
    for (int i = 0; i < 3; ++i) {
        const double keep = 1 - shade.paper[i];
        double rowSum = 0;
        for (int j = 0; j < 3; ++j) {
            m(i, j) = keep * shade.density * shade.mix(i, j);
            rowSum += shade.mix(i, j);
        }
        m(i, 3) = keep * 255 * (1 - shade.density * rowSum);
    }
    cv::transform(page, page, m);
}

namespace {

// The shape's outline, a little irregular, as fixed-point polygon points.
std::vector<cv::Point> WobblyOval(const PencilMark &m, Dice &dice, int shift)
{
    std::vector<cv::Point> pts;
    double amp[3], phase[3];
    for (int i = 0; i < 3; ++i) {
        amp[i] = dice.Uniform(0, 0.06);
        phase[i] = dice.Uniform(0, 2 * Pi);
    }
    const double a = Rad(m.angleDeg), one = 1 << shift;
    for (int k = 0; k < 72; ++k) {
        const double t = 2 * Pi * k / 72;
        double r = 1;
        for (int i = 0; i < 3; ++i)
            r += amp[i] * std::sin((i + 2) * t + phase[i]);
        const double x = m.rx * r * std::cos(t), y = m.ry * r * std::sin(t);
        pts.emplace_back(cvRound((m.centre.x + x * std::cos(a) - y * std::sin(a)) * one),
                         cvRound((m.centre.y + x * std::sin(a) + y * std::cos(a)) * one));
    }
    return pts;
}

// A back-and-forth stroke across the oval, each pass reaching its edge give
// or take a tenth.
std::vector<cv::Point> Zigzag(const PencilMark &m, Dice &dice, int shift)
{
    const double a = Rad(m.angleDeg), one = 1 << shift;
    const cv::Point2d d(std::cos(a), std::sin(a)), n(-d.y, d.x);
    std::vector<cv::Point> pts;
    const double step = m.strokePx * dice.Uniform(0.55, 0.95);
    bool forth = true;
    for (double s = -1; s <= 1; s += step / std::max(1.0, m.ry)) {
        // Chord of the axis-aligned oval along d at offset s * ry along n.
        const cv::Point2d o = n * (s * m.ry);
        const double A = d.x * d.x / (m.rx * m.rx) + d.y * d.y / (m.ry * m.ry);
        const double B = 2 * (o.x * d.x / (m.rx * m.rx) + o.y * d.y / (m.ry * m.ry));
        const double C = o.x * o.x / (m.rx * m.rx) + o.y * o.y / (m.ry * m.ry) - 1;
        const double disc = B * B - 4 * A * C;
        if (disc < 0)
            continue;
        double t0 = (-B - std::sqrt(disc)) / (2 * A) * dice.Uniform(0.88, 1.1);
        double t1 = (-B + std::sqrt(disc)) / (2 * A) * dice.Uniform(0.88, 1.1);
        if (!forth)
            std::swap(t0, t1);
        forth = !forth;
        for (double t : {t0, t1}) {
            const cv::Point2d p = m.centre + o + d * t;
            pts.emplace_back(cvRound(p.x * one), cvRound(p.y * one));
        }
    }
    return pts;
}

} // namespace

void DrawPencil(cv::Mat &page, const PencilMark &m, Dice &dice)
{
    const double reach = std::max(m.rx, m.ry) * 1.35 + m.strokePx + 4;
    cv::Rect roi(cvFloor(m.centre.x - reach), cvFloor(m.centre.y - reach), cvCeil(2 * reach), cvCeil(2 * reach));
    roi &= cv::Rect(0, 0, page.cols, page.rows);
    if (roi.empty())
        return;
    PencilMark local = m;
    local.centre -= cv::Point2d(roi.x, roi.y);
    constexpr int Shift = 4;
    cv::Mat shape(roi.size(), CV_8U, cv::Scalar(0));
    switch (m.shape) {
    case MarkShape::Oval: {
        const std::vector<std::vector<cv::Point>> poly{WobblyOval(local, dice, Shift)};
        cv::fillPoly(shape, poly, cv::Scalar(255), cv::LINE_AA, Shift);
        break;
    }
    case MarkShape::Scribble: {
        const std::vector<std::vector<cv::Point>> line{Zigzag(local, dice, Shift)};
        cv::polylines(shape, line, false, cv::Scalar(255), std::max(1, cvRound(m.strokePx)), cv::LINE_AA, Shift);
        break;
    }
    case MarkShape::Tick: {
        // A heavy tick: down-left arm, long up-right arm, a stroke more than
        // half the mark's height wide so that it covers most of the bubble.
        const double a = Rad(m.angleDeg);
        auto at = [&](double x, double y) {
            const cv::Point2d p = local.centre + cv::Point2d(m.rx * (x * std::cos(a) - y * std::sin(a)),
                                                             m.ry * (x * std::sin(a) + y * std::cos(a)));
            return cv::Point(cvRound(p.x * (1 << Shift)), cvRound(p.y * (1 << Shift)));
        };
        const std::vector<std::vector<cv::Point>> tick{{at(-0.75, -0.1), at(-0.2, 0.55), at(0.8, -0.6)}};
        cv::polylines(shape, tick, false, cv::Scalar(255), std::max(1, cvRound(m.ry * dice.Uniform(1.1, 1.4))),
                      cv::LINE_AA, Shift);
        break;
    }
    }
    cv::Mat cover;
    shape.convertTo(cover, CV_32F, 1.0 / 255);
    // The paper's tooth: the paler the graphite, the more of the paper shows
    // between its grains.
    cv::Mat tooth(roi.size(), CV_32F);
    cv::RNG(dice.Seed()).fill(tooth, cv::RNG::NORMAL, 0, 1);
    cv::GaussianBlur(tooth, tooth, cv::Size(0, 0), 0.8);
    const double grain = 0.35 + 0.9 * std::clamp((m.graphite - 25) / 85, 0.0, 1.0);
    cover = cover.mul(cv::max(0.0, 1.0 - grain * cv::max(tooth, 0.0)));
    cv::Mat area = page(roi);
    if (m.rubbedOut) {
        // The eraser lifts most of the graphite and some of the print.
        cv::GaussianBlur(cover, cover, cv::Size(0, 0), 1.4);
        cover *= dice.Uniform(0.08, 0.22);
        const double fade = dice.Uniform(0.05, 0.25);
        cv::Mat rubbed;
        cv::GaussianBlur(shape, rubbed, cv::Size(0, 0), 0.3 * reach);
        for (int y = 0; y < area.rows; ++y)
            for (int x = 0; x < area.cols; ++x) {
                const double f = fade * std::min(1.0, 2 * rubbed.at<uint8_t>(y, x) / 255.0);
                cv::Vec3b &p = area.at<cv::Vec3b>(y, x);
                for (int c = 0; c < 3; ++c)
                    p[c] = cv::saturate_cast<uint8_t>(p[c] + (255 - p[c]) * f);
            }
    }
    // Graphite mostly hides what lies under it, with a faint bluish sheen.
    const double sheen[3] = {4, 1, -2};
    for (int y = 0; y < area.rows; ++y)
        for (int x = 0; x < area.cols; ++x) {
            const double c = cover.at<float>(y, x);
            if (c <= 0)
                continue;
            cv::Vec3b &p = area.at<cv::Vec3b>(y, x);
            for (int ch = 0; ch < 3; ++ch) {
                const double g = std::clamp(m.graphite + sheen[ch], 0.0, 255.0);
                const double on = 0.7 * g + 0.3 * p[ch] * g / 255;
                p[ch] = cv::saturate_cast<uint8_t>(p[ch] * (1 - c) + on * c);
            }
        }
}

Exposure RandomExposure(Dice &dice)
{
    Exposure e;
    e.rowPx = dice.Uniform(7.0, 8.6);
    e.turnDeg = dice.Uniform(-8, 8);
    e.upsideDown = dice.Odds(0.5);
    e.tiltDeg = 8 * std::sqrt(dice.Uniform(0, 1));
    e.tiltAxisDeg = dice.Uniform(0, 180);
    e.offset = {dice.Uniform(-20, 20), dice.Uniform(-20, 20)};
    e.focalPx = dice.Uniform(480, 800);
    e.brightness = dice.Uniform(0.5, 0.9);
    e.slope = dice.Uniform(0, 0.25);
    e.slopeDirDeg = dice.Uniform(0, 360);
    if (dice.Odds(0.4)) {
        e.shadowDepth = dice.Uniform(0.1, 0.35);
        e.shadowSoftMm = dice.Uniform(2, 15);
        e.shadowDirDeg = dice.Uniform(0, 360);
        e.shadowAtMm = dice.Uniform(-60, 60);
        e.shadowWaveMm = dice.Uniform(0, 8);
        e.shadowWaveLengthMm = dice.Uniform(40, 120);
    }
    e.lampKelvin = 5000 + (dice.Odds(0.5) ? 1 : -1) * dice.Uniform(200, 700);
    e.tintGreen = dice.Uniform(-0.02, 0.02);
    if (dice.Odds(0.6))
        e.greyWorld = dice.Uniform(0, 0.7);
    e.defocusPx = dice.Uniform(0.4, 1.3);
    e.fringe = dice.Uniform(0, 0.0015);
    e.vignette = dice.Uniform(0.05, 0.3);
    if (dice.Odds(0.5)) {
        e.flicker = dice.Uniform(0.01, 0.05);
        e.flickerRows = dice.Uniform(120, 400);
        e.flickerPhase = dice.Uniform(0, 2 * Pi);
    }
    e.fullWell = dice.Uniform(1500, 6000);
    e.readNoise = dice.Uniform(2, 8);
    e.saturation = dice.Uniform(1.0, 1.35);
    e.sharpen = dice.Uniform(0, 0.9);
    e.mjpg = dice.Odds(0.75);
    e.jpegQuality = 60 + dice.Index(33);
    e.seed = dice.Seed();
    return e;
}

Projection::Projection(const PageSurvey &survey, const Exposure &e)
{
    // The card plane turned in the picture, then tilted about an axis through
    // its centre: a point at w along the axis's normal rises by w sin(tilt)
    // towards the camera and shortens to w cos(tilt). A pinhole at the
    // distance that gives the wanted scale at the centre sees it. Four points
    // fix the homography.
    const cv::Point2d centre = survey.Centre();
    const double scale = e.rowPx / survey.pitchY; // frame pixels per page pixel at the centre
    const double distance = e.focalPx / scale;    // in page pixels
    const double turn = Rad(e.turnDeg + (e.upsideDown ? 180 : 0));
    const cv::Point2d axis(std::cos(Rad(e.tiltAxisDeg)), std::sin(Rad(e.tiltAxisDeg))), normal(-axis.y, axis.x);
    const double ct = std::cos(Rad(e.tiltDeg)), st = std::sin(Rad(e.tiltDeg));
    auto view = [&](cv::Point2d p) {
        const cv::Point2d q = p - centre;
        const cv::Point2d r(q.x * std::cos(turn) - q.y * std::sin(turn), q.x * std::sin(turn) + q.y * std::cos(turn));
        const double along = r.dot(axis), across = r.dot(normal);
        const cv::Point2d flat = axis * along + normal * (across * ct);
        const double depth = distance + across * st;
        return cv::Point2f(static_cast<float>(320 + e.offset.x + e.focalPx * flat.x / depth),
                           static_cast<float>(240 + e.offset.y + e.focalPx * flat.y / depth));
    };
    cv::Point2f from[4], to[4];
    const cv::Point2d corners[4] = {{-600, -450}, {600, -450}, {600, 450}, {-600, 450}};
    for (int i = 0; i < 4; ++i) {
        from[i] = cv::Point2f(static_cast<float>(centre.x + corners[i].x), static_cast<float>(centre.y + corners[i].y));
        to[i] = view(centre + corners[i]);
    }
    h_ = cv::Matx33d(cv::getPerspectiveTransform(from, to));
}

cv::Point2d Projection::operator()(cv::Point2d page) const
{
    const cv::Vec3d q = h_ * cv::Vec3d(page.x, page.y, 1);
    return {q[0] / q[2], q[1] / q[2]};
}

std::pair<double, double> LineSpan(const PageSurvey &survey, const Projection &p)
{
    const double left = cv::norm(p({survey.bottom.left, survey.bottom.y}) - p({survey.top.left, survey.top.y}));
    const double right = cv::norm(p({survey.bottom.right, survey.bottom.y}) - p({survey.top.right, survey.top.y}));
    return {std::min(left, right), std::max(left, right)};
}

bool InEnvelope(const PageSurvey &survey, const Projection &p)
{
    const double rows = (survey.bottom.y - survey.top.y) / survey.pitchY;
    const auto [shorter, longer] = LineSpan(survey, p);
    if (shorter < rows * 230 / 34 + 1 || longer > rows * 300 / 34 - 1)
        return false;
    const double left = std::min(survey.top.left, survey.bottom.left) - 1.5 * survey.pitchX;
    const double right = std::max(survey.top.right, survey.bottom.right) + 1.5 * survey.pitchX;
    const double below = survey.bottom.y + survey.pitchY, above = survey.top.y - 12 * survey.pitchY;
    for (const cv::Point2d corner :
         {cv::Point2d(left, below), cv::Point2d(right, below), cv::Point2d(left, above), cv::Point2d(right, above)}) {
        const cv::Point2d f = p(corner);
        if (f.x < 1 || f.x > 638 || f.y < 1 || f.y > 478)
            return false;
    }
    return true;
}

namespace {

// sRGB-like coding, as a lookup both ways.
float Linear(uint8_t v)
{
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[static_cast<std::size_t>(i)] = static_cast<float>(std::pow(i / 255.0, 2.2));
        return t;
    }();
    return table[v];
}

double Encoded(double linear)
{
    return 255 * std::pow(std::clamp(linear, 0.0, 1.0), 1 / 2.2);
}

// A light desk under the card: broad blotches and fine grain, in linear light.
cv::Mat Desk(Dice &dice, double light)
{
    const cv::Vec3d colours[] = {{0.62, 0.66, 0.70}, {0.45, 0.55, 0.68}, {0.70, 0.70, 0.68}, {0.50, 0.58, 0.55}};
    const cv::Vec3d base = colours[dice.Index(4)] * light * dice.Uniform(0.85, 1.1);
    cv::Mat coarse(3, 4, CV_32FC3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const double f = dice.Uniform(0.85, 1.15);
            coarse.at<cv::Vec3f>(y, x) = cv::Vec3f(cv::Vec3d(base * f));
        }
    cv::Mat desk, fine(480, 640, CV_32FC3);
    cv::resize(coarse, desk, cv::Size(640, 480), 0, 0, cv::INTER_LINEAR);
    cv::RNG(dice.Seed()).fill(fine, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(0.015 * light));
    return desk + fine;
}

// A disc of the given radius, each tap weighted by how much of it the disc covers.
cv::Mat DiscKernel(double radius)
{
    const int r = std::max(1, cvCeil(radius));
    cv::Mat k(2 * r + 1, 2 * r + 1, CV_32F, cv::Scalar(0));
    for (int y = -r; y <= r; ++y)
        for (int x = -r; x <= r; ++x) {
            int inside = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    const double px = x - 0.375 + 0.25 * sx, py = y - 0.375 + 0.25 * sy;
                    inside += px * px + py * py <= radius * radius;
                }
            k.at<float>(y + r, x + r) = static_cast<float>(inside);
        }
    return k / cv::sum(k)[0];
}

} // namespace

cv::Mat Photograph(const cv::Mat &page, const PageSurvey &survey, const Exposure &e)
{
    Dice dice(e.seed);
    const Projection project(survey, e);

    // The card is lit before the camera sees it: work on the page at about
    // twice the frame's scale, in linear light, in the card's own coordinates.
    const double work = std::min(1.0, 2 * e.rowPx / survey.pitchY);
    cv::Mat small;
    cv::resize(page, small, cv::Size(), work, work, cv::INTER_AREA);
    const cv::Point2d centre = survey.Centre();
    // The lamp against the camera's balance, in mired: a warmer lamp leaves
    // less blue and a little less green on white paper.
    const double mired = 1e6 / e.lampKelvin - 1e6 / 5000;
    const double gain[3] = {std::exp(-0.0045 * mired), (1 + e.tintGreen) * std::exp(-0.0016 * mired), 1.0};
    const double norm = gain[1];
    const cv::Point2d slopeDir(std::cos(Rad(e.slopeDirDeg)), std::sin(Rad(e.slopeDirDeg)));
    const cv::Point2d shadowDir(std::cos(Rad(e.shadowDirDeg)), std::sin(Rad(e.shadowDirDeg)));
    cv::Mat lit(small.size(), CV_32FC3);
    for (int y = 0; y < small.rows; ++y)
        for (int x = 0; x < small.cols; ++x) {
            const cv::Point2d mm = (cv::Point2d(x + 0.5, y + 0.5) / work - centre) / PagePixelsPerMm;
            double light = e.brightness * (1 + e.slope * mm.dot(slopeDir) / 100);
            if (e.shadowDepth > 0) {
                const double along = mm.dot(cv::Point2d(-shadowDir.y, shadowDir.x));
                const double edge =
                    mm.dot(shadowDir) - e.shadowAtMm - e.shadowWaveMm * std::sin(2 * Pi * along / e.shadowWaveLengthMm);
                light *= 1 - e.shadowDepth / (1 + std::exp(-edge / e.shadowSoftMm));
            }
            const cv::Vec3b p = small.at<cv::Vec3b>(y, x);
            cv::Vec3f &o = lit.at<cv::Vec3f>(y, x);
            for (int c = 0; c < 3; ++c)
                o[c] = static_cast<float>(Linear(p[c]) * light * gain[c] / norm);
        }
    // Against aliasing when the warp halves the scale again.
    cv::GaussianBlur(lit, lit, cv::Size(0, 0), 0.7);

    cv::Mat frame = Desk(dice, e.brightness * 0.95);
    const cv::Matx33d fromWork = project.Homography() * cv::Matx33d(1 / work, 0, 0, 0, 1 / work, 0, 0, 0, 1);
    cv::warpPerspective(lit, frame, cv::Mat(fromWork), frame.size(), cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);

    // Lens: vignetting, red and blue imaged at slightly different scales, defocus.
    std::array<cv::Mat, 3> planes;
    cv::split(frame, planes.data());
    for (int c : {0, 2}) {
        const double k = 1 + (c == 2 ? e.fringe : -e.fringe);
        const cv::Matx23d zoom(k, 0, 320 * (1 - k), 0, k, 240 * (1 - k));
        cv::warpAffine(planes[static_cast<std::size_t>(c)], planes[static_cast<std::size_t>(c)], zoom,
                       cv::Size(640, 480), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    }
    cv::merge(planes.data(), 3, frame);
    if (e.defocusPx > 0.3)
        cv::filter2D(frame, frame, -1, DiscKernel(e.defocusPx));

    // Sensor: a rolling shutter under mains light brightens and darkens
    // bands of rows; photon and read noise in electrons.
    const double r2 = 320.0 * 320 + 240.0 * 240;
    for (int y = 0; y < 480; ++y) {
        const double band = 1 + e.flicker * std::sin(2 * Pi * y / e.flickerRows + e.flickerPhase);
        cv::Vec3f *row = frame.ptr<cv::Vec3f>(y);
        for (int x = 0; x < 640; ++x) {
            const double dx = x - 319.5, dy = y - 239.5;
            const double falloff = band * (1 - e.vignette * (dx * dx + dy * dy) / r2);
            for (int c = 0; c < 3; ++c) {
                const double electrons = std::max(0.0, row[x][c] * falloff * e.fullWell);
                const double noisy = electrons + dice.Gauss(std::sqrt(electrons + e.readNoise * e.readNoise));
                row[x][c] = static_cast<float>(noisy / e.fullWell);
            }
        }
    }

    // Automatic balance takes the frame's mean for grey: over a card with
    // much green or red print it turns the paper a little the other way.
    const cv::Scalar mean = cv::mean(frame);
    cv::Vec3f balance(1, 1, 1);
    for (int c : {0, 2})
        if (mean[c] > 0)
            balance[c] = static_cast<float>(std::pow(mean[1] / mean[c], e.greyWorld));

    // The camera's colour matrix (more saturated than the scene), its tone
    // curve, then sharpening of the coded picture.
    cv::Mat coded(480, 640, CV_32FC3);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const cv::Vec3f v = frame.at<cv::Vec3f>(y, x).mul(balance);
            const double luma = 0.114 * v[0] + 0.587 * v[1] + 0.299 * v[2];
            cv::Vec3f &o = coded.at<cv::Vec3f>(y, x);
            for (int c = 0; c < 3; ++c)
                o[c] = static_cast<float>(Encoded(luma + e.saturation * (v[c] - luma)));
        }
    cv::Mat soft;
    cv::GaussianBlur(coded, soft, cv::Size(0, 0), 1.0);
    coded = coded + e.sharpen * (coded - soft);
    cv::Mat out;
    coded.convertTo(out, CV_8UC3);

    // Out of the camera: MJPG, or raw I420; both keep one chroma sample per 2 x 2 pixels.
    if (!e.compressed)
        return out;
    if (e.mjpg) {
        std::vector<uint8_t> bytes;
        cv::imencode(".jpg", out, bytes, {cv::IMWRITE_JPEG_QUALITY, e.jpegQuality});
        return cv::imdecode(bytes, cv::IMREAD_COLOR);
    }
    cv::Mat yuv;
    cv::cvtColor(out, yuv, cv::COLOR_BGR2YUV_I420);
    cv::cvtColor(yuv, out, cv::COLOR_YUV2BGR_I420);
    return out;
}

} // namespace indcorpus
