#pragma once
// Draws the face of an answer card from its template: detection lines,
// orientation mark, AB cells, digit grids, answer blocks, labels, and
// optionally pencil marks. Output to any QPainter device, PNG, PDF and the
// card chooser's ".jpg" pictures.

#include <cstdint>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>
#include <QRectF>

#include "cardprint/CardGeometry.h"

class QPagedPaintDevice;
class QPainter;

namespace cardprint {

struct PencilMark {
    enum Kind {
        Pencil,    // a real mark: dark graphite, slightly irregular
        TooLight,  // a faint scribble, lighter than recognition accepts
        Erased,    // what is left after rubbing a mark out
    };
    CellPos cell;
    Kind kind = Pencil;
    // A pencil mark of this graphite grey level and size (share of the
    // bubble) instead of the hand's usual ones; 0: the usual.
    int grey = 0;
    double size = 0;
};

struct FaceOptions {
    std::string fileName;  // template file name (UTF-8); "JD" selects machine-card print, and gives the title
    int abType = 0;        // 0: A layout (red print on "JD"), 1: B layout (green print)
    std::vector<PencilMark> marks;
    uint64_t markSeed = 1;  // shapes of the pencil marks
    bool pageNotes = false; // cut border and size note around the card (printable pages)
};

struct FaceColours {
    QColor paper{255, 255, 255};
    QColor print;  // cell outlines and the digits and letters in them
    QColor tint;   // fill of the cells ("JD" only; invalid: none)
    QColor text;   // labels, question numbers, title
    QColor lines{0, 0, 0};
};
// Cell print is light: on "DY" cards a pale grey, on "JD" cards pale red (A)
// or green (B). Recognition binarises each area against a grey reference and
// must see the print as paper; only pencil is darker.
FaceColours ColoursFor(const std::string& fileName, int abType);

// Paints the card paper of `g` so that it fills `target` (device units).
void PaintCard(QPainter& p, const CardGeometry& g, const FaceOptions& o, const QRectF& target);

// Empty when the card paper of `t` can be drawn at `pixelsPerMm` as one
// picture; otherwise why not (UTF-8). A template whose line length or
// distance is absurd (1e7) still loads for reading, but drawn it would need
// more memory than any machine has.
std::string CardImageSizeProblem(const CardTemplate& t, const std::string& fileName, double pixelsPerMm);

// The card paper alone at `pixelsPerMm` (a null image when
// CardImageSizeProblem says it cannot be drawn, or memory ran out); pixel (x, y) covers card space
// u = paper.left + (x .. x+1) / k, v = paper.top - (y .. y+1) / k with
// k = pixelsPerMm * kMillimetresPerUnit.
QImage RenderCardImage(const CardTemplate& t, const FaceOptions& o, double pixelsPerMm);

// Pixels per template unit of an image from RenderCardImage.
inline double PixelsPerUnit(double pixelsPerMm) { return pixelsPerMm * kMillimetresPerUnit; }

struct PdfPage {
    CardTemplate record;
    FaceOptions face;
    // The sheet, mm; 0: A4 landscape (a larger page for a card that does not fit).
    double pageWidthMm = 0;
    double pageHeightMm = 0;
};
// One page per card, the card at its real size in the middle.
[[nodiscard]] bool WriteCardPdf(const std::string& pathUtf8, const std::vector<PdfPage>& pages, std::string* error);
// The same pages on any paged device (a printer from the print dialog).
[[nodiscard]] bool PaintCardPages(QPagedPaintDevice& device, const std::vector<PdfPage>& pages);
// PNG of the card at `dpi`.
[[nodiscard]] bool WriteCardPng(const std::string& pathUtf8, const CardTemplate& t, const FaceOptions& o, double dpi,
                                std::string* error);
// The card chooser's picture: 780 pixels wide, JPEG.
[[nodiscard]] bool WriteCardPicture(const std::string& pathUtf8, const CardTemplate& t, const FaceOptions& o,
                                    std::string* error);

} // namespace cardprint
