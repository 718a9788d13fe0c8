// scorivo-cardgen DATA_FOLDER
// Writes, from the definitions in cardprint/ShippedCards.cpp:
//   模板文件/<name>.dat and <name>.jpg for every shipped card,
//   答题卡.pdf (one page per card, both papers of an AB card),
//   学生信息文件/测试.xs.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cardprint/CardFace.h"
#include "cardprint/GuiApp.h"
#include "cardprint/ShippedCards.h"
#include "platform/Files.h"
#include "students/StudentFile.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: scorivo-cardgen DATA_FOLDER\n");
        return 2;
    }
    cardprint::EnsureGuiApplication();
    const std::filesystem::path data = files::FromUtf8(argv[1]);
    const std::filesystem::path templates = data / files::FromUtf8("模板文件");
    std::error_code ec;
    std::filesystem::create_directories(templates, ec);
    std::filesystem::create_directories(data / files::FromUtf8("学生信息文件"), ec);

    std::string error;
    std::vector<cardprint::PdfPage> pages;
    for (const cardprint::ShippedCard& card : cardprint::ShippedCards()) {
        if (std::string why = ValidateCardTemplate(card.record); !why.empty()) {
            std::fprintf(stderr, "%s: %s\n", card.fileName.c_str(), why.c_str());
            return 1;
        }
        std::string_view bytes(reinterpret_cast<const char*>(&card.record), sizeof card.record);
        if (!files::WriteAtomic(templates / files::FromUtf8(card.fileName), bytes, &error)) {
            std::fprintf(stderr, "%s: %s\n", card.fileName.c_str(), error.c_str());
            return 1;
        }
        cardprint::FaceOptions face;
        face.fileName = card.fileName;
        std::string jpg = card.fileName.substr(0, card.fileName.size() - 4) + ".jpg";
        if (!cardprint::WriteCardPicture(files::ToUtf8(templates / files::FromUtf8(jpg)), card.record, face, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        // Every card can be printed; an AB card on both papers ("JD" cards in
        // their red and green print).
        face.pageNotes = true;
        pages.push_back({card.record, face});
        if (card.record.AbMode == 0) {
            face.abType = 1;
            pages.push_back({card.record, face});
        }
        std::printf("%s\n", card.fileName.c_str());
    }
    if (!cardprint::WriteCardPdf(files::ToUtf8(data / files::FromUtf8(cardprint::kPrintableCardsFile)), pages,
                                 &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    StudentRoster roster = cardprint::ShippedRoster();
    if (!WriteStudentFile(data / files::FromUtf8("学生信息文件") / files::FromUtf8(cardprint::kDefaultRosterFile), roster,
                          &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
