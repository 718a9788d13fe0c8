#include "cardprint/DesignedCard.h"

#include "platform/Files.h"

namespace cardprint {

std::vector<PdfPage> DesignedCardPages(const CardLayoutResult& card)
{
    std::vector<PdfPage> pages;
    for (int paper : card.papers) {
        PdfPage p;
        p.record = card.record;
        p.face.fileName = card.fileName;
        p.face.abType = paper;
        p.face.pageNotes = true;
        p.pageWidthMm = card.page.width;
        p.pageHeightMm = card.page.height;
        pages.push_back(p);
    }
    return pages;
}

DesignedCardFiles DesignedCardFilesIn(const std::filesystem::path& folder, const CardLayoutResult& card)
{
    const std::string stem = card.fileName.substr(0, card.fileName.size() - 4);
    return {folder / files::FromUtf8(stem + ".dat"), folder / files::FromUtf8(stem + ".jpg"),
            folder / files::FromUtf8(stem + ".pdf")};
}

bool WriteDesignedCard(const CardLayoutResult& card, const DesignedCardFiles& to, std::string* error)
{
    if (!card.ok) {
        if (error)
            *error = card.reason;
        return false;
    }
    std::error_code ec;
    for (const auto* p : {&to.dat, &to.jpg, &to.pdf})
        if (p->has_parent_path())
            std::filesystem::create_directories(p->parent_path(), ec);
    bool existed[3];
    int k = 0;
    for (const auto* p : {&to.dat, &to.jpg, &to.pdf})
        existed[k++] = std::filesystem::exists(*p, ec);
    std::string why;
    FaceOptions face;
    face.fileName = card.fileName;
    face.abType = card.papers.empty() ? 0 : card.papers.front();
    const std::string bytes(reinterpret_cast<const char*>(&card.record), sizeof card.record);
    bool ok = files::WriteAtomic(to.dat, bytes, &why);
    if (!ok)
        why = "无法写入文件：" + files::ToUtf8(to.dat) + (why.empty() ? "" : "（" + why + "）");
    ok = ok && WriteCardPicture(files::ToUtf8(to.jpg), card.record, face, &why);
    ok = ok && WriteCardPdf(files::ToUtf8(to.pdf), DesignedCardPages(card), &why);
    if (!ok) {
        // A half-saved new card would show in the chooser without its sheet.
        k = 0;
        for (const auto* p : {&to.dat, &to.jpg, &to.pdf})
            if (!existed[k++])
                std::filesystem::remove(*p, ec);
        if (error)
            *error = why;
    }
    return ok;
}

} // namespace cardprint
