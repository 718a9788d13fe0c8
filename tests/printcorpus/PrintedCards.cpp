#include "PrintedCards.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

#include <jpeglib.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "recognition/MarkSampling.h"

namespace printcorpus {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double MmPerInch = 25.4;

double Radians(double deg)
{
    return deg * Pi / 180;
}

std::string ShellQuote(const std::string &s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

std::vector<cv::Mat> RasterisePdf(const std::string &pdfPath, const std::string &folder, int dpi, std::string *error)
{
    std::vector<cv::Mat> pages;
#ifdef SCORIVO_PDFTOPPM
    const char *tool = SCORIVO_PDFTOPPM;
#else
    const char *tool = "pdftoppm";
#endif
    const std::string prefix = folder + "/page";
    const std::string command =
        ShellQuote(tool) + " -r " + std::to_string(dpi) + " " + ShellQuote(pdfPath) + " " + ShellQuote(prefix);
    const int status = std::system(command.c_str());
    if (status != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (error)
            *error = "pdftoppm failed: " + command;
        return {};
    }
    // pdftoppm numbers pages with as many digits as the last page needs.
    std::vector<std::filesystem::path> files;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".ppm" && entry.path().filename().string().rfind("page-", 0) == 0)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end(), [](const auto &a, const auto &b) {
        const std::string x = a.stem().string(), y = b.stem().string();
        return x.size() != y.size() ? x.size() < y.size() : x < y;
    });
    for (const auto &f : files) {
        cv::Mat page = cv::imread(f.string(), cv::IMREAD_COLOR);
        if (page.empty()) {
            if (error)
                *error = "cannot read " + f.string();
            return {};
        }
        pages.push_back(page);
    }
    if (pages.empty() && error)
        *error = "pdftoppm wrote no pages";
    return pages;
}

PageMapping::PageMapping(const cardprint::CardGeometry &g, cv::Size pagePixels, double dpi)
    : paper_(g.Paper()), k_(dpi / MmPerInch / cardprint::kMillimetresPerUnit)
{
    // The card paper is centred on the page at its real size.
    left_ = (pagePixels.width - paper_.Width() * k_) / 2;
    top_ = (pagePixels.height - paper_.Height() * k_) / 2;
}

cv::Point2d PageMapping::ToPage(double u, double v) const
{
    return {left_ + (u - paper_.left) * k_, top_ + (paper_.top - v) * k_};
}

cv::Point2d PageMapping::CardCentre() const
{
    const cardprint::PointU c = paper_.Centre();
    return ToPage(c.u, c.v);
}

Hand RandomHand(Random &rng, bool lightHand)
{
    Hand h;
    h.reflectance = lightHand ? rng.Range(0.5, 0.62) : rng.Range(0.2, 0.4);
    h.strokeMm = rng.Range(0.35, 0.6);
    // Most scribble across, some up and down.
    h.strokeAngleDeg = rng.Chance(0.75) ? rng.Range(-35, 35) : rng.Range(60, 120);
    h.coverage = rng.Range(0.6, 0.95);
    return h;
}

namespace {

// One mark: a rounded shape with a wobbly outline, filled by scribbled
// strokes over a base of smeared graphite, with the paper's grain showing.
void DrawShape(cv::Mat &page, cv::Point2d centre, double rx, double ry, double exponent, double reflectance,
               double fill, const Hand &hand, double pixelsPerMm, bool erased, Random &rng)
{
    const double reach = std::max(rx, ry) * 1.2 + 6;
    cv::Rect roi(static_cast<int>(std::floor(centre.x - reach)), static_cast<int>(std::floor(centre.y - reach)),
                 static_cast<int>(2 * reach) + 2, static_cast<int>(2 * reach) + 2);
    roi &= cv::Rect(0, 0, page.cols, page.rows);
    if (roi.empty())
        return;
    const cv::Point2d c = centre - cv::Point2d(roi.x, roi.y);

    cv::Mat strokes(roi.size(), CV_32F, cv::Scalar(0));
    const double a = Radians(hand.strokeAngleDeg + rng.Range(-10, 10));
    const cv::Point2d d(std::cos(a), std::sin(a)), n(-std::sin(a), std::cos(a));
    const double width = hand.strokeMm * pixelsPerMm;
    const double spacing = width * rng.Range(0.55, 0.95);
    for (double s = -reach; s <= reach; s += spacing) {
        const cv::Point2d mid = c + n * (s + rng.Normal(0.15 * width));
        const cv::Point p1 = mid - d * reach, p2 = mid + d * reach;
        const int thick = std::max(1, static_cast<int>(std::lround(width * rng.Range(0.8, 1.2))));
        cv::line(strokes, p1, p2, cv::Scalar(rng.Range(0.75, 1.0)), thick, cv::LINE_AA);
    }

    // An outline that wobbles by a few per cent around the shape.
    double amp[3], phase[3];
    for (int i = 0; i < 3; ++i) {
        amp[i] = rng.Range(0.01, 0.05);
        phase[i] = rng.Range(0, 2 * Pi);
    }
    const double soft = 1.0 / std::max(1.0, std::min(rx, ry));
    cv::Mat cover(roi.size(), CV_32F);
    for (int y = 0; y < roi.height; ++y) {
        float *row = cover.ptr<float>(y);
        const float *st = strokes.ptr<float>(y);
        for (int x = 0; x < roi.width; ++x) {
            const double dx = (x + 0.5 - c.x) / rx, dy = (y + 0.5 - c.y) / ry;
            const double r =
                std::pow(std::pow(std::fabs(dx), exponent) + std::pow(std::fabs(dy), exponent), 1 / exponent);
            const double theta = std::atan2(dy, dx);
            double limit = 1;
            for (int i = 0; i < 3; ++i)
                limit += amp[i] * std::sin((i + 2) * theta + phase[i]);
            const double inside = std::clamp((limit - r) / soft + 0.5, 0.0, 1.0);
            const double grain = 1 - 0.3 * rng.Range(0, 1);
            row[x] = static_cast<float>(inside * (fill + (1 - fill) * st[x]) * grain);
        }
    }
    cv::GaussianBlur(cover, cover, cv::Size(0, 0), erased ? 0.35 * pixelsPerMm : 0.6);
    if (erased)
        cover *= rng.Range(0.4, 0.85);

    // Graphite has a faint blue sheen.
    const double tint[3] = {1.03, 1.0, 0.98};
    cv::Mat area = page(roi);
    for (int y = 0; y < roi.height; ++y) {
        const float *cv_ = cover.ptr<float>(y);
        uint8_t *p = area.ptr<uint8_t>(y);
        for (int x = 0; x < roi.width; ++x)
            for (int ch = 0; ch < 3; ++ch) {
                const double refl = std::min(1.0, reflectance * tint[ch]);
                const double v = p[3 * x + ch] * (1 - cv_[x] * (1 - refl));
                p[3 * x + ch] = static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
            }
    }
}

} // namespace

void DrawMarks(cv::Mat &page, const PageMapping &map, const cardprint::CardGeometry &g,
               const std::vector<StudentMark> &marks, const Hand &hand, Random &rng)
{
    const CardTemplate &t = g.Template();
    const double k = map.PixelsPerUnit();
    for (const StudentMark &m : marks) {
        cardprint::RectU box = m.kind == MarkKind::WholeBox ? g.Cell(m.cell) : g.Bubble(m.cell);
        cardprint::PointU centre = box.Centre();
        double rx, ry, exponent;
        if (m.kind == MarkKind::WholeBox) {
            rx = box.Width() / 2 * rng.Range(0.85, 0.97);
            ry = box.Height() / 2 * rng.Range(0.85, 0.97);
            centre.u += rng.Range(-0.05, 0.05) * t.CellWidth;
            centre.v += rng.Range(-0.05, 0.05) * t.CellHeight;
            exponent = 6;
        } else {
            const double size = rng.Range(hand.sizeLow, hand.sizeHigh);
            rx = box.Width() / 2 * size * rng.Range(0.95, 1.05);
            ry = box.Height() / 2 * size * rng.Range(0.95, 1.05);
            // Up to the hand's offset in any direction.
            const double angle = rng.Range(0, 2 * Pi), r = std::sqrt(rng.Range(0, 1)) * hand.offCentre;
            centre.u += r * std::cos(angle) * t.CellWidth;
            centre.v += r * std::sin(angle) * t.CellHeight;
            exponent = rng.Range(2.0, 3.5);
        }
        double reflectance = hand.reflectance;
        double fill = hand.coverage * rng.Range(0.9, 1.05);
        const bool erased = m.kind == MarkKind::Erased;
        if (erased) {
            reflectance = rng.Range(0.8, 0.92);
            rx *= 1.15;
            ry *= 1.15;
        } else if (m.kind == MarkKind::Light) {
            reflectance = std::max(reflectance, rng.Range(0.5, 0.62));
        }
        DrawShape(page, map.ToPage(centre.u, centre.v), rx * k, ry * k, exponent, reflectance, std::min(fill, 1.0),
                  hand, k, erased, rng);
    }
}

Thumb RandomThumb(Random &rng)
{
    Thumb t;
    t.side = rng.Below(4);
    t.along = rng.Range(0.1, 0.9);
    t.reachMm = rng.Range(2, 35);
    t.widthMm = rng.Range(15, 22);
    t.leanDeg = rng.Range(-35, 35);
    const double light = rng.Range(0.8, 1.1);
    const double skins[][3] = {{120, 150, 205}, {100, 135, 190}, {140, 165, 215}, {80, 110, 160}};
    const double *skin = skins[rng.Below(4)];
    for (int ch = 0; ch < 3; ++ch)
        t.tone[ch] = skin[ch] * light;
    t.shadowMm = rng.Range(1, 4);
    return t;
}

PrintTint RandomPrintTint(Random &rng)
{
    PrintTint t;
    t.hueShiftDeg = rng.Range(-14, 14);
    t.saturation = rng.Range(0.6, 1.5);
    t.value = rng.Range(0.85, 1.08);
    return t;
}

void TintPrint(cv::Mat &page, const PrintTint &tint)
{
    // In HSV with OpenCV's 8-bit hue of 0..179; only pixels with a clear
    // colour of their own are the coloured ink (antialiased edges included).
    cv::Mat hsv;
    cv::cvtColor(page, hsv, cv::COLOR_BGR2HSV);
    const int shift = static_cast<int>(std::lround(tint.hueShiftDeg / 2));
    for (int y = 0; y < hsv.rows; ++y) {
        cv::Vec3b *p = hsv.ptr<cv::Vec3b>(y);
        for (int x = 0; x < hsv.cols; ++x) {
            if (p[x][1] < 25)
                continue;
            p[x][0] = static_cast<uint8_t>((p[x][0] + shift + 180) % 180);
            p[x][1] = cv::saturate_cast<uint8_t>(p[x][1] * tint.saturation);
            p[x][2] = cv::saturate_cast<uint8_t>(p[x][2] * tint.value);
        }
    }
    cv::cvtColor(hsv, page, cv::COLOR_HSV2BGR);
}

void DrawThumb(cv::Mat &page, const PageMapping &map, const cardprint::CardGeometry &g, const Thumb &t)
{
    const cardprint::RectU paper = g.Paper();
    cardprint::PointU edge{}, inward{};
    switch (t.side) {
    case 0:
        edge = {paper.left, paper.bottom + t.along * paper.Height()};
        inward = {1, 0};
        break;
    case 1:
        edge = {paper.right, paper.bottom + t.along * paper.Height()};
        inward = {-1, 0};
        break;
    case 2:
        edge = {paper.left + t.along * paper.Width(), paper.bottom};
        inward = {0, 1};
        break;
    default:
        edge = {paper.left + t.along * paper.Width(), paper.top};
        inward = {0, -1};
        break;
    }
    // In page pixels: y grows downwards where v grows upwards.
    const double ppm = map.PixelsPerUnit() / cardprint::kMillimetresPerUnit;
    const double lean = Radians(t.leanDeg);
    const cv::Point2d in0(inward.u, -inward.v);
    const cv::Point2d n(in0.x * std::cos(lean) - in0.y * std::sin(lean),
                        in0.x * std::sin(lean) + in0.y * std::cos(lean));
    const cv::Point2d across(-n.y, n.x);
    const double halfLength = 35 * ppm, halfWidth = t.widthMm / 2 * ppm;
    const cv::Point2d tip = map.ToPage(edge.u, edge.v) + n * (t.reachMm * ppm);
    const cv::Point2d centre = tip - n * halfLength;
    const cv::Point2d shadowShift = (n * 0.3 + across) * (t.shadowMm * ppm);
    const double reach = halfLength + t.shadowMm * ppm + 10;
    cv::Rect roi(static_cast<int>(centre.x - reach), static_cast<int>(centre.y - reach), static_cast<int>(2 * reach),
                 static_cast<int>(2 * reach));
    roi &= cv::Rect(0, 0, page.cols, page.rows);
    // How far inside the thumb's outline a point lies: below 1 inside.
    auto radius = [&](cv::Point2d p, cv::Point2d c, double grow) {
        const cv::Point2d d = p - c;
        const double s = d.dot(n) / (halfLength * grow), w = d.dot(across) / (halfWidth * grow);
        return std::sqrt(s * s + w * w);
    };
    const double soft = 1.5 / halfWidth;
    for (int y = roi.y; y < roi.y + roi.height; ++y) {
        uint8_t *row = page.ptr<uint8_t>(y);
        for (int x = roi.x; x < roi.x + roi.width; ++x) {
            const cv::Point2d p(x + 0.5, y + 0.5);
            const double rs = radius(p, centre + shadowShift, 1.08);
            const double shade = 1 - 0.35 * std::clamp((1.25 - rs) / 0.3, 0.0, 1.0);
            const double r = radius(p, centre, 1.0);
            const double cover = std::clamp((1 - r) / soft + 0.5, 0.0, 1.0);
            const double across01 = std::min(1.0, std::fabs((p - centre).dot(across)) / halfWidth);
            const double round = 0.7 + 0.3 * std::sqrt(1 - across01 * across01);
            const bool nail = (tip - p).dot(n) < 0.35 * t.widthMm * ppm && across01 < 0.55;
            for (int ch = 0; ch < 3; ++ch) {
                const double skin = nail ? 0.5 * t.tone[ch] + 0.5 * (ch == 2 ? 235 : 205) : t.tone[ch];
                const double v = row[3 * x + ch] * shade * (1 - cover) + skin * round * cover;
                row[3 * x + ch] = static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
            }
        }
    }
}

Shot RandomShot(Random &rng)
{
    Shot s;
    // A cell row of 4 mm between 7.2 and 8.4 px at the card's middle: inside the accepted
    // 230/34 to 300/34 there; tilt may take one end of the lines beyond (AtTheDistanceEdge).
    s.pixelsPerMm = rng.Range(1.8, 2.1);
    s.rotateDeg = rng.Range(-8, 8);
    const double tilt = rng.Range(0, 8), dir = rng.Range(0, 2 * Pi);
    s.tiltXDeg = 0.7 * tilt * std::cos(dir);
    s.tiltYDeg = tilt * std::sin(dir);
    s.turned = rng.Chance(0.5);
    s.shiftX = rng.Range(-20, 20);
    s.shiftY = rng.Range(-20, 20);
    s.focalPx = rng.Range(520, 720);
    s.exposure = rng.Range(0.78, 0.97);
    s.gradient = rng.Range(0, 0.2);
    s.gradientDirDeg = rng.Range(0, 360);
    s.vignette = rng.Range(0.05, 0.25);
    if (rng.Chance(0.35)) {
        s.shadowDepth = rng.Range(0.1, 0.3);
        s.shadowSoftPx = rng.Range(8, 40);
        s.shadowAngleDeg = rng.Range(0, 360);
        s.shadowOffsetPx = rng.Range(-120, 120);
    }
    // A cast of a few per cent, and a white balance a few hundred kelvin
    // warm or cool.
    const double warm = rng.Range(-0.08, 0.08);
    s.gain[0] = (1 + rng.Range(-0.03, 0.03)) * (1 - warm);
    s.gain[1] = 1 + rng.Range(-0.03, 0.03);
    s.gain[2] = (1 + rng.Range(-0.03, 0.03)) * (1 + warm);
    s.blurSigma = rng.Range(0.45, 1.0);
    s.readNoise = rng.Range(1, 3);
    s.shotNoise = rng.Range(0.02, 0.08);
    s.gamma = rng.Range(0.9, 1.1);
    s.jpegQuality = 72 + rng.Below(23);
    s.seed = rng.Next();
    return s;
}

namespace {

cv::Mat Desk(cv::Size size, Random &rng)
{
    // The card lies on a white sheet or a light desk, as the program asks
    // (a dark desk is refused as too much black).
    static const cv::Vec3d tones[] = {{215, 218, 220}, {175, 178, 180}, {150, 185, 210}, {190, 200, 195}};
    const cv::Vec3d tone = tones[rng.Below(4)] * rng.Range(0.9, 1.08);
    cv::Mat low(4, 5, CV_32FC3);
    for (int y = 0; y < low.rows; ++y)
        for (int x = 0; x < low.cols; ++x) {
            const double f = rng.Range(0.88, 1.12);
            low.at<cv::Vec3f>(y, x) = cv::Vec3f(static_cast<float>(tone[0] * f), static_cast<float>(tone[1] * f),
                                                static_cast<float>(tone[2] * f));
        }
    cv::Mat desk;
    cv::resize(low, desk, size, 0, 0, cv::INTER_CUBIC);
    cv::Mat grain(size, CV_32FC3);
    cv::randn(grain, cv::Scalar::all(0), cv::Scalar::all(6));
    desk += grain;
    cv::Mat out;
    desk.convertTo(out, CV_8UC3);
    return out;
}

// Pinhole camera over the page: page millimetres about the card's centre,
// turned in space, seen from the distance that gives the wanted scale. Maps a
// page picture of `pagePpm` pixels per millimetre, card centre at `centre`,
// onto a canvas `over` times the frame's resolution.
cv::Matx33d Camera(const Shot &shot, cv::Size canvasSize, int over, double pagePpm, cv::Point2d centre)
{
    const double canvasPpm = shot.pixelsPerMm * over;
    const double rz = Radians(shot.rotateDeg + (shot.turned ? 180 : 0));
    const double rx = Radians(shot.tiltXDeg), ry = Radians(shot.tiltYDeg);
    const cv::Matx33d Rz(std::cos(rz), -std::sin(rz), 0, std::sin(rz), std::cos(rz), 0, 0, 0, 1);
    const cv::Matx33d Rx(1, 0, 0, 0, std::cos(rx), -std::sin(rx), 0, std::sin(rx), std::cos(rx));
    const cv::Matx33d Ry(std::cos(ry), 0, std::sin(ry), 0, 1, 0, -std::sin(ry), 0, std::cos(ry));
    const cv::Matx33d R = Rz * Rx * Ry;
    const double f = shot.focalPx * over;
    const double distance = f / canvasPpm;
    const cv::Matx33d toMm(1 / pagePpm, 0, -centre.x / pagePpm, 0, 1 / pagePpm, -centre.y / pagePpm, 0, 0, 1);
    const cv::Matx33d pose(R(0, 0), R(0, 1), 0, R(1, 0), R(1, 1), 0, R(2, 0), R(2, 1), distance);
    const cv::Matx33d lens(f, 0, canvasSize.width / 2.0 + shot.shiftX * over, 0, f,
                           canvasSize.height / 2.0 + shot.shiftY * over, 0, 0, 1);
    return lens * pose * toMm;
}

} // namespace

std::pair<double, double> LineEndDistances(const PageMapping &map, const cardprint::CardGeometry &g, const Shot &shot)
{
    const double pagePpm = map.PixelsPerUnit() / cardprint::kMillimetresPerUnit;
    const cv::Matx33d H = Camera(shot, cv::Size(640, 480), 1, pagePpm, map.CardCentre());
    auto project = [&](double u, double v) {
        const cv::Point2d p = map.ToPage(u, v);
        const cv::Vec3d q = H * cv::Vec3d(p.x, p.y, 1);
        return cv::Point2d(q[0] / q[2], q[1] / q[2]);
    };
    const cardprint::RectU bottom = g.BottomLine(), top = g.TopLine();
    const double yb = (bottom.top + bottom.bottom) / 2, yt = (top.top + top.bottom) / 2;
    const double left = cv::norm(project(bottom.left, yb) - project(top.left, yt));
    const double right = cv::norm(project(bottom.right, yb) - project(top.right, yt));
    return {std::min(left, right), std::max(left, right)};
}

cv::Mat Photograph(const cv::Mat &page, const PageMapping &map, const Shot &shot)
{
    Random rng(shot.seed);
    cv::theRNG().state = shot.seed | 1;
    // The scene is formed at twice the frame's resolution and reduced by area,
    // as a sensor integrates light over its pixels.
    constexpr int Over = 2;
    const cv::Size canvasSize(640 * Over, 480 * Over);
    const double canvasPpm = shot.pixelsPerMm * Over;
    const double pagePpm = map.PixelsPerUnit() / cardprint::kMillimetresPerUnit;
    const double shrink = std::min(1.0, canvasPpm * 1.25 / pagePpm);
    cv::Mat small;
    cv::resize(page, small, cv::Size(), shrink, shrink, cv::INTER_AREA);
    const double smallPpm = pagePpm * shrink;
    const cv::Point2d c0 = map.CardCentre() * shrink;

    const cv::Matx33d H = Camera(shot, canvasSize, Over, smallPpm, c0);

    cv::Mat scene = Desk(canvasSize, rng);
    cv::warpPerspective(small, scene, cv::Mat(H), canvasSize, cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);

    // Light: exposure, a falloff across the frame, vignetting, a soft shadow,
    // and the camera's colour balance.
    cv::Mat lit(canvasSize, CV_32FC3);
    const double cx = canvasSize.width / 2.0, cy = canvasSize.height / 2.0;
    const double ga = Radians(shot.gradientDirDeg), sa = Radians(shot.shadowAngleDeg);
    const double rmax2 = cx * cx + cy * cy;
    for (int y = 0; y < canvasSize.height; ++y) {
        const cv::Vec3b *in = scene.ptr<cv::Vec3b>(y);
        cv::Vec3f *out = lit.ptr<cv::Vec3f>(y);
        for (int x = 0; x < canvasSize.width; ++x) {
            const double dx = x - cx, dy = y - cy;
            double light = shot.exposure * (1 + shot.gradient * (dx * std::cos(ga) + dy * std::sin(ga)) / cx);
            light *= 1 - shot.vignette * (dx * dx + dy * dy) / rmax2;
            if (shot.shadowDepth > 0) {
                const double d = dx * std::cos(sa) + dy * std::sin(sa) - shot.shadowOffsetPx * Over;
                light *= 1 - shot.shadowDepth / (1 + std::exp(-d / (shot.shadowSoftPx * Over)));
            }
            for (int ch = 0; ch < 3; ++ch)
                out[x][ch] = static_cast<float>(in[x][ch] * light * shot.gain[ch]);
        }
    }
    cv::Mat frame;
    cv::resize(lit, frame, cv::Size(640, 480), 0, 0, cv::INTER_AREA);
    cv::GaussianBlur(frame, frame, cv::Size(0, 0), shot.blurSigma);

    // A Bayer sensor: one colour per pixel, shot and read noise, the
    // camera's tone curve, then demosaicing.
    cv::Mat raw(frame.size(), CV_8U);
    uint8_t curve[256];
    for (int i = 0; i < 256; ++i)
        curve[i] = static_cast<uint8_t>(std::clamp(255 * std::pow(i / 255.0, shot.gamma) + 0.5, 0.0, 255.0));
    for (int y = 0; y < frame.rows; ++y) {
        const cv::Vec3f *in = frame.ptr<cv::Vec3f>(y);
        uint8_t *out = raw.ptr<uint8_t>(y);
        for (int x = 0; x < frame.cols; ++x) {
            // B G / G R
            const int ch = (y % 2 == 0) ? (x % 2 == 0 ? 0 : 1) : (x % 2 == 0 ? 1 : 2);
            const double v = in[x][ch];
            const double noisy =
                v + rng.Normal(std::sqrt(shot.readNoise * shot.readNoise + shot.shotNoise * std::max(v, 0.0)));
            out[x] = curve[static_cast<int>(std::clamp(noisy + 0.5, 0.0, 255.0))];
        }
    }
    cv::Mat colour;
    cv::cvtColor(raw, colour, cv::COLOR_BayerRG2BGR);
    return JpegRoundTrip(colour, shot.jpegQuality);
}

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1);
}

} // namespace

cv::Mat JpegRoundTrip(const cv::Mat &bgr, int quality)
{
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    {
        jpeg_compress_struct c{};
        JpegError err{};
        c.err = jpeg_std_error(&err.mgr);
        err.mgr.error_exit = OnJpegError;
        if (setjmp(err.jump)) {
            jpeg_destroy_compress(&c);
            std::free(buffer);
            return {};
        }
        jpeg_create_compress(&c);
        jpeg_mem_dest(&c, &buffer, &size);
        c.image_width = static_cast<JDIMENSION>(bgr.cols);
        c.image_height = static_cast<JDIMENSION>(bgr.rows);
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, quality, TRUE);
        // Luma at full resolution, both chroma planes halved both ways (4:2:0).
        c.comp_info[0].h_samp_factor = 2;
        c.comp_info[0].v_samp_factor = 2;
        c.comp_info[1].h_samp_factor = c.comp_info[1].v_samp_factor = 1;
        c.comp_info[2].h_samp_factor = c.comp_info[2].v_samp_factor = 1;
        jpeg_start_compress(&c, TRUE);
        std::vector<uint8_t> row(static_cast<std::size_t>(bgr.cols) * 3);
        while (c.next_scanline < c.image_height) {
            const uint8_t *p = bgr.ptr<uint8_t>(static_cast<int>(c.next_scanline));
            for (int x = 0; x < bgr.cols; ++x) {
                row[3 * x] = p[3 * x + 2];
                row[3 * x + 1] = p[3 * x + 1];
                row[3 * x + 2] = p[3 * x];
            }
            JSAMPROW r = row.data();
            jpeg_write_scanlines(&c, &r, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
    }
    cv::Mat out;
    {
        jpeg_decompress_struct d{};
        JpegError err{};
        d.err = jpeg_std_error(&err.mgr);
        err.mgr.error_exit = OnJpegError;
        if (setjmp(err.jump)) {
            jpeg_destroy_decompress(&d);
            std::free(buffer);
            return {};
        }
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, buffer, size);
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_RGB;
        jpeg_start_decompress(&d);
        out.create(static_cast<int>(d.output_height), static_cast<int>(d.output_width), CV_8UC3);
        std::vector<uint8_t> row(static_cast<std::size_t>(d.output_width) * 3);
        while (d.output_scanline < d.output_height) {
            uint8_t *p = out.ptr<uint8_t>(static_cast<int>(d.output_scanline));
            JSAMPROW r = row.data();
            jpeg_read_scanlines(&d, &r, 1);
            for (int x = 0; x < out.cols; ++x) {
                p[3 * x] = row[3 * x + 2];
                p[3 * x + 1] = row[3 * x + 1];
                p[3 * x + 2] = row[3 * x];
            }
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
    }
    std::free(buffer);
    return out;
}

std::string OptionReadings(const RecognitionContext &ctx, int q)
{
    if (q < 0 || q >= card_limits::MaxQuestions || !ctx.Questions[q].hasCells)
        return {};
    const QuestionCells &cells = ctx.Questions[q];
    const CardGeometry &g = ctx.Geometry;
    const BitmapView card = ctx.RectifiedCard.View();
    std::string out = " depth " + std::to_string(ctx.MarkDepth) + " fills";
    for (int j = 0; j < cells.options; ++j)
        out += " " + std::to_string(CellFill(card, cells.corner[j], g.sx, g.sy)) + "/" +
               std::to_string(CellBlack(ctx.CheckCard.View(), cells.corner[j], g.sx, g.sy)) +
               (InkAtCentre(card, cells.corner[j], g.sx, g.sy) ? "*" : "") + "d" +
               std::to_string(CellDepth(card, ctx.MarkGrey.data(), ctx.BlockPaper[q / 5], cells.corner[j], g.sx, g.sy));
    return out;
}

} // namespace printcorpus
