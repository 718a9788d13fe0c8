#pragma once
// Writes a designed card: its template (".dat"), the card chooser's picture
// (".jpg") and the printable sheet (".pdf", real size, one page per AB paper).

#include <filesystem>
#include <string>
#include <vector>

#include "cardprint/CardFace.h"
#include "exam/CardDesign.h"

namespace cardprint {

// The printable pages of a laid-out card on its own paper size.
std::vector<PdfPage> DesignedCardPages(const CardLayoutResult& card);

struct DesignedCardFiles {
    std::filesystem::path dat;
    std::filesystem::path jpg;
    std::filesystem::path pdf;
};

// "<folder>/DY<name>.dat|.jpg|.pdf".
DesignedCardFiles DesignedCardFilesIn(const std::filesystem::path& folder, const CardLayoutResult& card);

// Writes the three files; on failure removes what it wrote and says why.
[[nodiscard]] bool WriteDesignedCard(const CardLayoutResult& card, const DesignedCardFiles& to, std::string* error);

} // namespace cardprint
