#pragma once
// Answer cards as a teacher meets them: a page of "答题卡.pdf" rasterised by
// poppler at 300 dpi, filled in pencil the way students fill it (graphite
// grain, marks larger or smaller than the bubble and off its centre, light
// hands, erasures that leave residue, whole boxes blackened), and
// photographed through an imaging model of its own: a pinhole camera over the
// page lying on a desk, uneven light and shadows, colour casts, lens blur, a
// Bayer sensor with its noise and demosaicing, and JPEG with 4:2:0 chroma.
//
// It knows the card only through the template and the printed card's
// geometry (cardprint/CardGeometry.h); nothing of the project's synthetic
// camera is used.

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "cardprint/CardGeometry.h"
#include "recognition/RecognitionContext.h"

namespace printcorpus {

class Random {
public:
    explicit Random(uint64_t seed) : engine_(seed) {}
    double Range(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine_); }
    int Below(int n) { return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(engine_); }
    bool Chance(double p) { return Range(0, 1) < p; }
    double Normal(double sigma) { return std::normal_distribution<double>(0, sigma)(engine_); }
    uint64_t Next() { return engine_(); }

private:
    std::mt19937_64 engine_;
};

// The pages of a PDF as BGR pictures at `dpi`, rasterised by pdftoppm into
// `folder`. Empty on failure, with the reason in `error`.
std::vector<cv::Mat> RasterisePdf(const std::string &pdfPath, const std::string &folder, int dpi, std::string *error);

// Where card space (template units from cardprint::CardGeometry) lies on a
// rasterised page: the card is printed at its real size in the middle of the page.
class PageMapping {
public:
    PageMapping(const cardprint::CardGeometry &g, cv::Size pagePixels, double dpi);
    cv::Point2d ToPage(double u, double v) const;
    double PixelsPerUnit() const { return k_; }
    cv::Point2d CardCentre() const;

private:
    cardprint::RectU paper_;
    double k_ = 0;
    double left_ = 0;
    double top_ = 0;
};

enum class MarkKind {
    Pencil,   // a filled bubble
    Light,    // filled by a light hand: clearly visible, but pale
    Erased,   // rubbed out: residue, not a mark
    WholeBox, // the whole cell blackened instead of the bubble
};

struct StudentMark {
    CellPos cell;
    MarkKind kind = MarkKind::Pencil;
};

// How one student marks: size and placement of the marks, pressure, stroke.
struct Hand {
    double sizeLow = 0.8, sizeHigh = 1.4; // mark size as a share of the printed bubble
    double offCentre = 0.15;              // largest offset of a mark's centre, as a share of the cell
    double reflectance = 0.3;             // of the graphite where it covers fully
    double strokeMm = 0.5;                // pencil line width
    double strokeAngleDeg = 0;            // scribble direction
    double coverage = 0.85;               // how much of the shape the scribble leaves dark
};

Hand RandomHand(Random &rng, bool lightHand);

// Draws the marks into the page picture.
void DrawMarks(cv::Mat &page, const PageMapping &map, const cardprint::CardGeometry &g,
               const std::vector<StudentMark> &marks, const Hand &hand, Random &rng);

// One photograph's camera and scene.
// A thumb holding the card, as a teacher's hand holds it under the camera:
// it reaches in over one of the card's edges and lies on the paper (drawn in
// the card's plane, with a soft shadow beside it).
struct Thumb {
    int side = 0;        // the card's left, right, bottom or top edge
    double along = 0.5;  // where on that edge, as a share of its length
    double reachMm = 10; // how far the tip reaches in over the card
    double widthMm = 18;
    double leanDeg = 0;                   // away from square to the edge
    double tone[3] = {120, 150, 205};     // B, G, R of the skin
    double shadowMm = 2.5;                // the shadow's offset from the thumb
};

Thumb RandomThumb(Random &rng);

// How one print run's colour ink came out: printers and toners do not give
// the template's own red or green, and a page may be printed saturated or
// washed out. Black print and paper are left as they are.
struct PrintTint {
    double hueShiftDeg = 0; // about the ink's own hue
    double saturation = 1;  // factor on the ink's chroma
    double value = 1;       // factor on the ink's brightness
};

PrintTint RandomPrintTint(Random &rng);
void TintPrint(cv::Mat &page, const PrintTint &tint);
void DrawThumb(cv::Mat &page, const PageMapping &map, const cardprint::CardGeometry &g, const Thumb &thumb);

struct Shot {
    double pixelsPerMm = 1.95; // on the card, in the 640 x 480 frame
    double rotateDeg = 0;      // in the picture plane
    double tiltXDeg = 0;       // about the card's horizontal axis
    double tiltYDeg = 0;       // about its vertical axis
    bool turned = false;       // the card upside down
    double shiftX = 0, shiftY = 0;
    double focalPx = 600;  // of the 640 x 480 frame
    double exposure = 0.9; // paper under the brightest light, share of full scale
    double gradient = 0.1; // strength of the light falloff across the frame
    double gradientDirDeg = 0;
    double vignette = 0.15;
    double shadowDepth = 0; // 0: no shadow
    double shadowSoftPx = 20;
    double shadowAngleDeg = 0;
    double shadowOffsetPx = 0;  // the shadow edge's distance from the frame centre
    double gain[3] = {1, 1, 1}; // B, G, R: colour cast and white balance
    double blurSigma = 0.7;
    double readNoise = 2;
    double shotNoise = 0.05;
    double gamma = 1;
    int jpegQuality = 85;
    uint64_t seed = 1;
};

Shot RandomShot(Random &rng);

// The camera's 640 x 480 BGR frame of the page, after JPEG and decoding.
cv::Mat Photograph(const cv::Mat &page, const PageMapping &map, const Shot &shot);

// The distance in frame pixels between the bottom and the top detection line
// at the lines' two ends (shorter, longer): what the reader checks against its
// accepted distance range. Tilt brings one end nearer the camera than the card's
// middle.
std::pair<double, double> LineEndDistances(const PageMapping &map, const cardprint::CardGeometry &g, const Shot &shot);

// JPEG through libjpeg with its default 4:2:0 chroma subsampling, and back.
cv::Mat JpegRoundTrip(const cv::Mat &bgr, int quality);

// For the verbose listings: the card's mark depth, then each option of
// question q as fill/confirming ink, "*" for ink at the middle, and "d" its
// depth; empty for a question without cells.
std::string OptionReadings(const RecognitionContext &ctx, int q);

} // namespace printcorpus
