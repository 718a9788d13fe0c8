#include "cardprint/SynthCamera.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <QBuffer>
#include <QPainter>

#include "cardprint/CardGeometry.h"
#include "cardprint/Prng.h"
#include "recognition/CardLayout.h"

namespace cardprint {

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr double kNominalRowPixels = 265.0 / 34.0;
// A webcam of about 60 degrees horizontal field of view.
constexpr double kFocalPixels = 554.0;
constexpr double kPi = 3.14159265358979323846;

int LayoutType(const CardTemplate& t, int abType)
{
    if (t.AbMode == 1)
        return 0;
    if (t.AbMode == 2)
        return 1;
    return abType == 1 ? 1 : 0;
}

// The digits as drawn: those past the card's columns, or below its rows,
// are not on the picture, and the truth must not claim them.
std::string DrawnDigits(const std::string& s, int columns, int rows)
{
    std::string out;
    for (int i = 0; i < columns && i < static_cast<int>(s.size()); ++i) {
        const char c = s[static_cast<std::size_t>(i)];
        out += c >= '0' && c <= '9' && c - '0' < rows ? c : ' ';
    }
    return out;
}

void AddDigitMarks(std::vector<PencilMark>& out, const std::string& digits, float col, float row, int columns, int rows)
{
    for (int i = 0; i < columns && i < static_cast<int>(digits.size()); ++i) {
        char c = digits[static_cast<std::size_t>(i)];
        if (c < '0' || c > '9' || c - '0' >= rows)
            continue;
        out.push_back({DigitCell(col, row, i, c - '0'), PencilMark::Pencil});
    }
}

struct Mat3 {
    double m[3][3]{};
    Mat3 operator*(const Mat3& o) const
    {
        Mat3 r;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k)
                    r.m[i][j] += m[i][k] * o.m[k][j];
        return r;
    }
    Mat3 Inverse() const
    {
        const auto& a = m;
        double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
        Mat3 r;
        double s = 1.0 / det;
        r.m[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) * s;
        r.m[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) * s;
        r.m[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) * s;
        r.m[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) * s;
        r.m[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) * s;
        r.m[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) * s;
        r.m[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) * s;
        r.m[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) * s;
        r.m[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) * s;
        return r;
    }
    void Apply(double x, double y, double& ox, double& oy) const
    {
        double w = m[2][0] * x + m[2][1] * y + m[2][2];
        ox = (m[0][0] * x + m[0][1] * y + m[0][2]) / w;
        oy = (m[1][0] * x + m[1][1] * y + m[1][2]) / w;
    }
};

// Card space (units, v up) -> upright picture pixels (y down), the camera
// looking at the card from `distance` along its axis.
Mat3 CardToPicture(const CardGeometry& g, const SynthOptions& o)
{
    const CardTemplate& t = g.Template();
    const double ch = t.CellHeight;
    // Frame the part recognition needs: one cell below the bottom line to 12 above the top line.
    const double uc = t.LineLength / 2.0;
    const double vc = (-ch + t.LineDistance + 12 * ch) / 2.0;
    const double ppu = kNominalRowPixels * o.scale / ch;
    const double distance = kFocalPixels / ppu;

    double theta = (o.rotateDeg + (o.turned ? 180.0 : 0.0)) * kPi / 180.0;
    double alpha = o.tiltXDeg * kPi / 180.0;
    double beta = o.tiltYDeg * kPi / 180.0;
    auto rotate3 = [&](double X, double Y, double out[3]) {
        // In-plane rotation, counter-clockwise on the picture (y down).
        double x1 = X * std::cos(theta) + Y * std::sin(theta);
        double y1 = -X * std::sin(theta) + Y * std::cos(theta);
        // Tilt about the horizontal axis: the top edge (y < 0) goes away for alpha > 0.
        double y2 = y1 * std::cos(alpha);
        double z2 = -y1 * std::sin(alpha);
        // Tilt about the vertical axis.
        out[0] = x1 * std::cos(beta) + z2 * std::sin(beta);
        out[1] = y2;
        out[2] = -x1 * std::sin(beta) + z2 * std::cos(beta);
    };
    double c1[3], c2[3];
    rotate3(1, 0, c1);
    rotate3(0, 1, c2);
    Mat3 M;
    for (int i = 0; i < 3; ++i) {
        M.m[i][0] = c1[i];
        M.m[i][1] = c2[i];
    }
    M.m[0][2] = o.shiftX * distance / kFocalPixels;
    M.m[1][2] = o.shiftY * distance / kFocalPixels;
    M.m[2][2] = distance;
    Mat3 K;
    K.m[0][0] = kFocalPixels;
    K.m[0][2] = kWidth / 2.0;
    K.m[1][1] = kFocalPixels;
    K.m[1][2] = kHeight / 2.0;
    K.m[2][2] = 1;
    Mat3 A;
    A.m[0][0] = 1;
    A.m[0][2] = -uc;
    A.m[1][1] = -1;
    A.m[1][2] = vc;
    A.m[2][2] = 1;
    return K * M * A;
}

double SmoothStep(double e0, double e1, double x)
{
    double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Light falling on each pixel (1 = full exposure of white paper to 255).
std::vector<float> LightField(const SynthOptions& o, SplitMix64& rng)
{
    std::vector<float> field(static_cast<std::size_t>(kWidth) * kHeight);
    double exposure = rng.Range(0.86, 0.93);
    double gradient = 0.04;
    if (o.light == SynthOptions::LightGradient)
        gradient = rng.Range(0.25, 0.33);
    else if (o.light == SynthOptions::LightShadow)
        gradient = rng.Range(0.06, 0.12);
    double dir = rng.Range(0, 2 * kPi);
    double dx = std::cos(dir), dy = std::sin(dir);
    double half = std::abs(dx) * kWidth / 2 + std::abs(dy) * kHeight / 2;
    // A shadow: a large soft disc (a head or an arm) reaching in from outside the picture.
    double shX = 0, shY = 0, shR = 0, shEdge = 1, shDepth = 1;
    if (o.light == SynthOptions::LightShadow) {
        double a = rng.Range(0, 2 * kPi);
        shR = rng.Range(230, 300);
        shX = kWidth / 2.0 + std::cos(a) * rng.Range(260, 330);
        shY = kHeight / 2.0 + std::sin(a) * rng.Range(200, 260);
        // Soft-edged: a shadow from a head or a lamp arm is a blur tens of
        // pixels wide at a webcam's distance.
        shEdge = rng.Range(60, 110);
        shDepth = rng.Range(0.66, 0.76);
    }
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            double t = ((x - kWidth / 2.0) * dx + (y - kHeight / 2.0) * dy) / half;  // -1 .. 1
            double light = exposure * (1.0 - gradient * (t + 1) / 2);
            if (shR > 0) {
                double d = std::hypot(x - shX, y - shY);
                light *= 1.0 - (1.0 - shDepth) * (1.0 - SmoothStep(shR - shEdge, shR + shEdge, d));
            }
            field[static_cast<std::size_t>(y) * kWidth + x] = static_cast<float>(light);
        }
    return field;
}

// A desk or a sheet under the card: not white, slightly uneven.
struct Background {
    double base[3];
    double waves[3][4];  // amplitude, kx, ky, phase
    uint64_t grainSeed;

    explicit Background(SplitMix64& rng)
    {
        double level = rng.Range(0.66, 0.8);
        double warm = rng.Range(-0.02, 0.04);
        base[0] = level - warm;  // blue
        base[1] = level;
        base[2] = level + warm;  // red
        for (auto& w : waves) {
            w[0] = rng.Range(0.01, 0.035);
            w[1] = rng.Range(-0.03, 0.03);
            w[2] = rng.Range(-0.03, 0.03);
            w[3] = rng.Range(0, 2 * kPi);
        }
        grainSeed = rng.Next();
    }
    void At(double x, double y, double out[3]) const
    {
        double v = 0;
        for (const auto& w : waves)
            v += w[0] * std::sin(w[1] * x + w[2] * y + w[3]);
        for (int c = 0; c < 3; ++c)
            out[c] = base[c] + v;
    }
};

void SampleFace(const QImage& face, double fx, double fy, double out[3])
{
    int w = face.width();
    int h = face.height();
    fx -= 0.5;
    fy -= 0.5;
    int x0 = static_cast<int>(std::floor(fx));
    int y0 = static_cast<int>(std::floor(fy));
    double ax = fx - x0;
    double ay = fy - y0;
    auto px = [&](int x, int y) {
        x = std::clamp(x, 0, w - 1);
        y = std::clamp(y, 0, h - 1);
        return reinterpret_cast<const QRgb*>(face.constScanLine(y))[x];
    };
    QRgb p00 = px(x0, y0), p10 = px(x0 + 1, y0), p01 = px(x0, y0 + 1), p11 = px(x0 + 1, y0 + 1);
    auto mix = [&](int (*ch)(QRgb)) {
        double top = ch(p00) * (1 - ax) + ch(p10) * ax;
        double bottom = ch(p01) * (1 - ax) + ch(p11) * ax;
        return (top * (1 - ay) + bottom * ay) / 255.0;
    };
    out[0] = mix(qBlue);
    out[1] = mix(qGreen);
    out[2] = mix(qRed);
}

void GaussianBlur(std::vector<float>& plane, double sigma)
{
    if (sigma <= 0.05)
        return;
    int r = std::max(1, static_cast<int>(std::ceil(sigma * 3)));
    std::vector<float> k(static_cast<std::size_t>(2 * r + 1));
    double sum = 0;
    for (int i = -r; i <= r; ++i) {
        k[static_cast<std::size_t>(i + r)] = static_cast<float>(std::exp(-(i * i) / (2 * sigma * sigma)));
        sum += k[static_cast<std::size_t>(i + r)];
    }
    for (float& v : k)
        v = static_cast<float>(v / sum);
    std::vector<float> tmp(plane.size());
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            float acc = 0;
            for (int i = -r; i <= r; ++i) {
                int xx = std::clamp(x + i, 0, kWidth - 1);
                acc += k[static_cast<std::size_t>(i + r)] * plane[static_cast<std::size_t>(y) * kWidth + xx];
            }
            tmp[static_cast<std::size_t>(y) * kWidth + x] = acc;
        }
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            float acc = 0;
            for (int i = -r; i <= r; ++i) {
                int yy = std::clamp(y + i, 0, kHeight - 1);
                acc += k[static_cast<std::size_t>(i + r)] * tmp[static_cast<std::size_t>(yy) * kWidth + x];
            }
            plane[static_cast<std::size_t>(y) * kWidth + x] = acc;
        }
}

} // namespace

std::vector<PencilMark> MarksFor(const CardTemplate& t, const FilledCard& card)
{
    std::vector<PencilMark> out;
    int layout = LayoutType(t, card.abType);
    if (t.AbMode == 0) {
        if (card.abType == 1)
            out.push_back({{t.AbBCol, t.AbBRow}, PencilMark::Pencil});
        else
            out.push_back({{t.AbACol, t.AbARow}, PencilMark::Pencil});
    }
    AddDigitMarks(out, card.admission, t.AdmCol, t.AdmRow, t.AdmColumns, 10);
    AddDigitMarks(out, card.subject, t.SubjCol, t.SubjRow, t.SubjColumns, t.SubjRows);
    AddDigitMarks(out, card.score, t.ScoreCol, t.ScoreRow, t.ScoreColumns, 10);
    for (int q = 0; q < t.QuestionCount && q < static_cast<int>(card.answers.size()); ++q) {
        QuestionLayout lay = LayoutQuestion(t, layout, q);
        if (!lay.placed || (lay.orientation != 0 && lay.orientation != 1))
            continue;
        for (char c : card.answers[static_cast<std::size_t>(q)]) {
            int j = c - 'A';
            if (j >= 0 && j < lay.options)
                out.push_back({OptionCell(lay, q % 5, j), PencilMark::Pencil});
        }
    }
    for (const StrayMark& s : card.strays) {
        QuestionLayout lay = LayoutQuestion(t, layout, s.question);
        if (lay.placed && (lay.orientation == 0 || lay.orientation == 1) && s.option >= 0 && s.option < lay.options)
            out.push_back({OptionCell(lay, s.question % 5, s.option), s.kind});
    }
    return out;
}

QImage RenderFilledFace(const CardTemplate& t, const std::string& templateName, const FilledCard& card,
                        double pixelsPerMm)
{
    FaceOptions face;
    face.fileName = templateName;
    face.abType = LayoutType(t, card.abType);
    face.marks = MarksFor(t, card);
    face.markSeed = card.markSeed;
    return RenderCardImage(t, face, pixelsPerMm);
}

QImage PhotographFace(const CardTemplate& t, const std::string& templateName, const QImage& face,
                      double pixelsPerMm, const SynthOptions& o, SynthTruth* truth)
{
    if (face.isNull())
        return {};  // sampled, a null face was read through a null pointer
    CardGeometry g(t, IsJdTemplate(templateName));
    const RectU paper = g.Paper();
    const double kf = PixelsPerUnit(pixelsPerMm);
    SplitMix64 rng(MixSeed(o.seed, 0x5C0121u));

    const Mat3 H = CardToPicture(g, o);
    const Mat3 Hinv = H.Inverse();
    std::vector<float> light = LightField(o, rng);
    Background bg(rng);
    double gain[3] = {1, 1, 1};  // blue, green, red
    if (o.colourCast) {
        gain[0] = 1 + rng.Range(-0.035, 0.035);
        gain[2] = 1 + rng.Range(-0.035, 0.035);
    }

    // 3 x 3 samples per pixel: the lens integrates over the pixel.
    const int ss = 3;
    std::vector<float> planes[3];
    for (auto& p : planes)
        p.assign(static_cast<std::size_t>(kWidth) * kHeight, 0.f);
    SplitMix64 grain(bg.grainSeed);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            double acc[3] = {0, 0, 0};
            for (int j = 0; j < ss; ++j)
                for (int i = 0; i < ss; ++i) {
                    double px = x + (i + 0.5) / ss;
                    double py = y + (j + 0.5) / ss;
                    double u, v;
                    Hinv.Apply(px, py, u, v);
                    double s[3];
                    if (u >= paper.left && u < paper.right && v > paper.bottom && v <= paper.top)
                        SampleFace(face, (u - paper.left) * kf, (paper.top - v) * kf, s);
                    else
                        bg.At(px, py, s);
                    acc[0] += s[0];
                    acc[1] += s[1];
                    acc[2] += s[2];
                }
            std::size_t idx = static_cast<std::size_t>(y) * kWidth + x;
            double l = light[idx] * 255.0 / (ss * ss);
            double fleck = (grain.Uniform() - 0.5) * 0.012;  // paper and desk fibres
            for (int c = 0; c < 3; ++c)
                planes[c][idx] = static_cast<float>((acc[c] * l) * gain[c] * (1 + fleck));
        }
    }
    for (auto& p : planes)
        GaussianBlur(p, o.blur);

    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    SplitMix64 noise(MixSeed(o.seed, 0x7015Eu));
    for (int y = 0; y < kHeight; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            std::size_t idx = static_cast<std::size_t>(y) * kWidth + x;
            double common = o.noise > 0 ? noise.Normal() * o.noise * 0.8 : 0;
            int v[3];
            for (int c = 0; c < 3; ++c) {
                double own = o.noise > 0 ? noise.Normal() * o.noise * 0.6 : 0;
                v[c] = std::clamp(static_cast<int>(std::lround(planes[c][idx] + common + own)), 0, 255);
            }
            row[x] = qRgb(v[2], v[1], v[0]);
        }
    }

    // The camera sees the card the other way round from the program.
    QImage sample = img.mirrored(true, true);
    if (o.jpegQuality > 0) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        sample.save(&buffer, "JPG", std::clamp(o.jpegQuality, 1, 100));
        buffer.close();
        QImage decoded;
        if (decoded.loadFromData(bytes, "JPG"))
            sample = decoded.convertToFormat(QImage::Format_RGB32);
    }
    QImage out = o.upright ? sample.mirrored(true, true) : sample;

    if (truth) {
        truth->templateName = templateName;
        truth->options = o;
        const double L = t.LineLength;
        const double D = t.LineDistance;
        const double ends[4][2] = {{0, 0}, {L, 0}, {0, D}, {L, D}};
        for (int i = 0; i < 4; ++i) {
            double px, py;
            H.Apply(ends[i][0], ends[i][1], px, py);
            if (!o.upright) {
                px = kWidth - px;
                py = kHeight - py;
            }
            truth->lineEnds[static_cast<std::size_t>(i)] = {px, py};
        }
        double x0, y0, x1, y1;
        double uc = L / 2, vc = D / 2;
        H.Apply(uc, vc, x0, y0);
        H.Apply(uc, vc + t.CellHeight, x1, y1);
        truth->rowPixels = std::hypot(x1 - x0, y1 - y0);
    }
    return out;
}

QImage SynthesizeCameraImage(const CardTemplate& t, const std::string& templateName, const FilledCard& card,
                             const SynthOptions& o, SynthTruth* truth)
{
    const double pxPerMm = SynthPixelsPerMm;
    QImage face = RenderFilledFace(t, templateName, card, pxPerMm);
    QImage out = PhotographFace(t, templateName, face, pxPerMm, o, truth);
    if (truth) {
        int layout = LayoutType(t, card.abType);
        truth->abType = layout;
        truth->admission = DrawnDigits(card.admission, t.AdmColumns, 10);
        truth->subject = DrawnDigits(card.subject, t.SubjColumns, t.SubjRows);
        truth->score = DrawnDigits(card.score, t.ScoreColumns, 10);
        truth->answers.assign(static_cast<std::size_t>(std::max(0, t.QuestionCount)), std::string());
        for (int q = 0; q < t.QuestionCount && q < static_cast<int>(card.answers.size()); ++q) {
            QuestionLayout lay = LayoutQuestion(t, layout, q);
            if (!lay.placed || (lay.orientation != 0 && lay.orientation != 1))
                continue;  // not drawn either
            std::string letters;
            for (int j = 0; j < lay.options && j < card_limits::MaxOptions; ++j)
                if (card.answers[static_cast<std::size_t>(q)].find(static_cast<char>('A' + j)) != std::string::npos)
                    letters += static_cast<char>('A' + j);
            truth->answers[static_cast<std::size_t>(q)] = letters;
        }
        truth->strays = card.strays;
    }
    return out;
}

CameraSample ToCameraSample(const QImage& picture, int bytesPerPixel)
{
    CameraSample s;
    QImage img = picture.convertToFormat(QImage::Format_RGB32);
    s.width = img.width();
    s.height = img.height();
    s.bytesPerPixel = bytesPerPixel == 4 ? 4 : 3;
    s.pixels.assign(static_cast<std::size_t>(s.width) * s.height * s.bytesPerPixel, 0);
    for (int y = 0; y < s.height; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        // The first row in memory is the picture's bottom row.
        uint8_t* dst = s.pixels.data() + static_cast<std::size_t>(s.height - 1 - y) * s.width * s.bytesPerPixel;
        for (int x = 0; x < s.width; ++x) {
            dst[x * s.bytesPerPixel + 0] = static_cast<uint8_t>(qBlue(src[x]));
            dst[x * s.bytesPerPixel + 1] = static_cast<uint8_t>(qGreen(src[x]));
            dst[x * s.bytesPerPixel + 2] = static_cast<uint8_t>(qRed(src[x]));
        }
    }
    return s;
}

static std::string JsonString(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

static std::string Num(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

std::string TruthToJson(const SynthTruth& t)
{
    const SynthOptions& o = t.options;
    std::string j = "{\n";
    j += "  \"template\": " + JsonString(t.templateName) + ",\n";
    j += "  \"abType\": " + std::to_string(t.abType) + ",\n";
    j += "  \"paper\": \"" + std::string(t.abType == 1 ? "B" : "A") + "\",\n";
    j += "  \"admission\": " + JsonString(t.admission) + ",\n";
    j += "  \"subject\": " + JsonString(t.subject) + ",\n";
    j += "  \"score\": " + JsonString(t.score) + ",\n";
    j += "  \"answers\": [";
    for (std::size_t i = 0; i < t.answers.size(); ++i)
        j += (i ? ", " : "") + JsonString(t.answers[i]);
    j += "],\n  \"ignoredMarks\": [";
    for (std::size_t i = 0; i < t.strays.size(); ++i) {
        const StrayMark& s = t.strays[i];
        j += std::string(i ? ", " : "") + "{\"kind\": \"" + (s.kind == PencilMark::Erased ? "erased" : "tooLight") +
             "\", \"question\": " + std::to_string(s.question + 1) + ", \"option\": \"" +
             static_cast<char>('A' + s.option) + "\"}";
    }
    j += "],\n";
    j += "  \"orientation\": \"" + std::string(o.upright ? "upright" : "camera-sample") + "\",\n";
    j += "  \"seed\": " + std::to_string(o.seed) + ",\n";
    j += "  \"scale\": " + Num(o.scale) + ",\n";
    j += "  \"rotate\": " + Num(o.rotateDeg) + ",\n";
    j += "  \"tilt\": [" + Num(o.tiltXDeg) + ", " + Num(o.tiltYDeg) + "],\n";
    j += "  \"shift\": [" + Num(o.shiftX) + ", " + Num(o.shiftY) + "],\n";
    const char* light = o.light == SynthOptions::LightGradient ? "gradient"
                        : o.light == SynthOptions::LightShadow ? "shadow"
                                                               : "none";
    j += "  \"light\": \"" + std::string(light) + "\",\n";
    j += "  \"noise\": " + Num(o.noise) + ",\n";
    j += "  \"blur\": " + Num(o.blur) + ",\n";
    j += "  \"jpeg\": " + std::to_string(o.jpegQuality) + ",\n";
    j += "  \"turned\": " + std::string(o.turned ? "true" : "false") + ",\n";
    j += "  \"rowPixels\": " + Num(t.rowPixels) + ",\n";
    j += "  \"lineEnds\": {";
    const char* names[4] = {"bottomLeft", "bottomRight", "topLeft", "topRight"};
    for (int i = 0; i < 4; ++i)
        j += std::string(i ? ", " : "") + "\"" + names[i] + "\": [" + Num(t.lineEnds[static_cast<std::size_t>(i)][0]) +
             ", " + Num(t.lineEnds[static_cast<std::size_t>(i)][1]) + "]";
    j += "}\n}\n";
    return j;
}

std::vector<std::string> ParseAnswerList(const std::string& list)
{
    std::vector<std::string> out;
    if (list.empty())
        return out;
    std::string cur;
    for (char c : list) {
        if (c == ',') {
            out.push_back(cur);
            cur.clear();
        } else if (c >= 'a' && c <= 'j') {
            cur += static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'J') {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

} // namespace cardprint
