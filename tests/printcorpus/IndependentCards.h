#pragma once
// A second printed-card corpus, made apart from the first (PrintedCards.h)
// so that the two do not share a blind spot with each other or with the
// reader: "答题卡.pdf" rasterised by poppler's cairo back end at 10 pixels a
// millimetre; every bubble found on those pixels (the template only says
// which question, option or digit a bubble is, and roughly where its grid
// lies); the print recoloured as other printers and toners print it; pencil
// marks of several shapes drawn where the bubbles were found; and a camera
// that lights the card before it looks at it, with a rolling shadow, flicker
// bands, a lamp a few hundred kelvin off the white balance, defocus, lateral
// colour fringes, sensor noise, a colour matrix, sharpening, and 4:2:0
// chroma (MJPG or I420).

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "recognition/CardTemplate.h"

namespace indcorpus {

class Dice {
public:
    explicit Dice(uint64_t seed) : engine_(seed) {}
    double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine_); }
    int Index(int n) { return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(engine_); }
    bool Odds(double p) { return Uniform(0, 1) < p; }
    double Gauss(double sigma) { return std::normal_distribution<double>(0, sigma)(engine_); }
    uint64_t Seed() { return engine_(); }

private:
    std::mt19937_64 engine_;
};

inline constexpr double PagePixelsPerMm = 10; // 254 dpi

// The PDF's pages as BGR pictures at 10 pixels a millimetre, drawn by
// pdftocairo in `folder`. Empty on failure, the reason in `error`.
std::vector<cv::Mat> DrawPdfPages(const std::string &pdf, const std::string &folder, std::string *error);

// A detection line as printed on the page: its ends and its centre row.
struct PrintedLine {
    double left = 0, right = 0, y = 0, thickness = 0;
};

// One printed bubble as found on the page: the box around its outline.
struct FoundBubble {
    cv::Point2d centre;
    cv::Size2d size;
};

struct CellKey {
    float col = 0, row = 0;
    bool operator<(const CellKey &o) const { return col != o.col ? col < o.col : row < o.row; }
};

// A card page as found on its pixels.
struct PageSurvey {
    PrintedLine top, bottom;
    double pitchX = 0, pitchY = 0; // a cell's width and height on the page, in pixels
    std::map<CellKey, FoundBubble> bubbles;
    std::vector<CellKey> missing; // cells whose bubble was not found
    cv::Point2d Centre() const
    {
        return {(top.left + top.right + bottom.left + bottom.right) / 4, (top.y + bottom.y) / 2};
    }
};

// Every cell a student may fill on this page (AB cells, digit grids, answer
// options of the AB type's layout), by the template's numbering.
std::vector<CellKey> CellsOfCard(const CardTemplate &t, int abType);

// Finds the two detection lines, then each cell's bubble near where the
// template puts its cell.
PageSurvey SurveyPage(const cv::Mat &page, const CardTemplate &t, int abType);

// The print as another printer prints it: the ink's absorption per channel
// mixed and scaled (a redder or more orange red, a bluer green, washed out or
// saturated), on paper that is not quite white.
struct PrintShade {
    cv::Matx33d mix = cv::Matx33d::eye(); // B, G, R absorption in -> out
    double density = 1;
    cv::Vec3d paper{0, 0, 0}; // the paper's own absorption
};

PrintShade RandomPrintShade(Dice &dice, bool colourPrint);
void Reprint(cv::Mat &page, const PrintShade &shade);

enum class MarkShape { Oval, Scribble, Tick };

struct PencilMark {
    cv::Point2d centre; // page pixels
    double rx = 0, ry = 0;
    double angleDeg = 0; // the scribble's or the tick's turn
    MarkShape shape = MarkShape::Oval;
    double graphite = 60; // grey level of the graphite where it covers, 0..255
    double strokePx = 5;
    bool rubbedOut = false;
};

void DrawPencil(cv::Mat &page, const PencilMark &mark, Dice &dice);

// One photograph: where the camera looks from, the light, the camera's colour
// and its sensor.
struct Exposure {
    // Placement: a cell row's height in frame pixels at the card's centre,
    // the turn in the picture, the card plane's tilt, the card centre's
    // offset from the frame centre, the lens's focal length.
    double rowPx = 7.8;
    double turnDeg = 0;
    bool upsideDown = false;
    double tiltDeg = 0, tiltAxisDeg = 0;
    cv::Point2d offset{0, 0};
    double focalPx = 620;
    // Light on the card, before the camera sees it.
    double brightness = 0.8; // paper under full light, share of the sensor's range
    double slope = 0.1, slopeDirDeg = 0;
    double shadowDepth = 0, shadowSoftMm = 6, shadowDirDeg = 0, shadowAtMm = 0;
    double shadowWaveMm = 0, shadowWaveLengthMm = 80; // the shadow edge rolls
    double lampKelvin = 5000;                         // the camera balances for 5000 K
    double tintGreen = 0;                             // green-magenta error of the balance
    double greyWorld = 0;                             // how far automatic balance evens the frame's mean colour (0..1)
    // Lens and sensor.
    double defocusPx = 0.8; // radius of the blur disc
    double fringe = 0.0008; // lateral chromatic aberration: red and blue scaled about the centre
    double vignette = 0.15;
    double flicker = 0, flickerRows = 240, flickerPhase = 0; // rolling shutter under mains light
    double fullWell = 3000, readNoise = 4;                   // electrons
    double saturation = 1.15;                                // colour matrix
    double sharpen = 0.4;
    bool mjpg = true;
    bool compressed = true; // false: the frame as the colour matrix leaves it, full chroma
    int jpegQuality = 80;
    uint64_t seed = 1;
};

Exposure RandomExposure(Dice &dice);

// Where a page point lands in the 640 x 480 frame.
class Projection {
public:
    Projection(const PageSurvey &survey, const Exposure &e);
    cv::Point2d operator()(cv::Point2d page) const;
    cv::Matx33d Homography() const { return h_; }

private:
    cv::Matx33d h_;
};

// The distances between the detection lines in the frame at their two ends,
// shorter first: what the reader holds against its accepted range.
std::pair<double, double> LineSpan(const PageSurvey &survey, const Projection &p);

// Whether the reader accepts where the card lies in the frame: the lines'
// distance at both ends within 230/34 to 300/34 of a cell row per row of line
// distance, and the corner check's points (a cell and a half beyond the line
// ends, a cell below the bottom line, twelve above the top one) inside the
// frame; a pixel to spare each.
bool InEnvelope(const PageSurvey &survey, const Projection &p);

// The camera's BGR frame of the page.
cv::Mat Photograph(const cv::Mat &page, const PageSurvey &survey, const Exposure &e);

} // namespace indcorpus
