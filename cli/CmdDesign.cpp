// scorivo-cli design: lays out a card from a teacher's choices and writes its
// template, its chooser picture and its printable sheet.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cardprint/DesignedCard.h"
#include "cardprint/GuiApp.h"
#include "cli/CliOptions.h"
#include "cli/Command.h"
#include "exam/CardDesign.h"
#include "platform/Files.h"

namespace {

constexpr char kUsage[] =
    "design --name NAME --questions N [--options K] [--block-options \"7:2,8:2\"] [--down \"7,8\"] "
    "[--admission D] [--subject D] [--subjects \"01:语文,02:数学\"] [--score D] [--ab auto|A|B] "
    "[--colour black|red|green] [--paper A4|A5|B5] [--landscape] [--force] --out DIR";

bool ReadInt(const cli::ParsedOptions& p, const char* name, int& into)
{
    if (!p.Has(name))
        return true;
    const std::string v = p.Get(name);
    if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos) {
        std::fprintf(stderr, "design: %s needs a whole number, not \"%s\"\n", name, v.c_str());
        return false;
    }
    into = std::stoi(v);
    return true;
}

int CmdDesign(const std::vector<std::string>& args)
{
    const cli::ParsedOptions p =
        cli::ParseOptions(args,
                          {"--name", "--questions", "--options", "--block-options", "--down", "--admission",
                           "--subject", "--subjects", "--score", "--ab", "--colour", "--paper", "--out"},
                          {"--landscape", "--force"});
    if (!p.error.empty() || !p.positional.empty() || !p.Has("--name") || !p.Has("--questions") || !p.Has("--out")) {
        if (!p.error.empty())
            std::fprintf(stderr, "design: %s\n", p.error.c_str());
        std::fprintf(stderr, "usage: scorivo-cli %s\n", kUsage);
        return 2;
    }
    CardDesign d;
    d.name = p.Get("--name");
    if (!ReadInt(p, "--questions", d.questions) || !ReadInt(p, "--options", d.options) ||
        !ReadInt(p, "--admission", d.admissionDigits) || !ReadInt(p, "--subject", d.subjectDigits) ||
        !ReadInt(p, "--score", d.scoreDigits))
        return 2;
    std::string why;
    if ((p.Has("--block-options") && !ParseBlockOptions(p.Get("--block-options"), d.exceptions, why)) ||
        (p.Has("--down") && !ParseDownBlocks(p.Get("--down"), d.exceptions, why)) ||
        (p.Has("--subjects") && !ParseSubjectList(p.Get("--subjects"), d.subjects, why))) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 2;
    }
    const std::string ab = p.Get("--ab", "auto");
    const std::string colour = p.Get("--colour", "black");
    const std::string paper = p.Get("--paper", "A4");
    if (ab != "auto" && ab != "A" && ab != "B") {
        std::fprintf(stderr, "design: --ab is auto, A or B\n");
        return 2;
    }
    if (colour != "black" && colour != "red" && colour != "green") {
        std::fprintf(stderr, "design: --colour is black, red or green\n");
        return 2;
    }
    if (paper != "A4" && paper != "A5" && paper != "B5") {
        std::fprintf(stderr, "design: --paper is A4, A5 or B5\n");
        return 2;
    }
    d.abMode = ab == "A" ? 1 : ab == "B" ? 2 : 0;
    d.colour = colour == "red" ? CardPrintColour::Red : colour == "green" ? CardPrintColour::Green : CardPrintColour::Black;
    d.paper = paper == "A5" ? CardPaper::A5 : paper == "B5" ? CardPaper::B5 : CardPaper::A4;
    d.landscape = p.flags.count("--landscape") != 0;

    const CardLayoutResult card = LayOutCard(d);
    if (!card.ok) {
        std::fprintf(stderr, "%s\n", card.reason.c_str());
        return 2;
    }
    const cardprint::DesignedCardFiles out = cardprint::DesignedCardFilesIn(files::FromUtf8(p.Get("--out")), card);
    // A card of that name may be the one earlier sessions were marked with,
    // and the window asks before it replaces one: so nothing is replaced here
    // without being asked for.
    if (!p.flags.count("--force")) {
        std::error_code ec;
        for (const std::filesystem::path& f : {out.dat, out.jpg, out.pdf})
            if (std::filesystem::exists(std::filesystem::symlink_status(f, ec))) {
                std::fprintf(stderr, "scorivo-cli design: %s 已经存在，没有覆盖（要用新设计的答题卡替换它，请加 --force）\n",
                             files::ToUtf8(f).c_str());
                return 1;
            }
    }
    cardprint::EnsureGuiApplication();
    if (!cardprint::WriteDesignedCard(card, out, &why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    std::printf("{\"template\":%s,\"picture\":%s,\"pdf\":%s,\"card_mm\":[%.1f,%.1f],\"cell_mm\":[%.1f,%.1f]}\n",
                cli::JsonString(files::ToUtf8(out.dat)).c_str(), cli::JsonString(files::ToUtf8(out.jpg)).c_str(),
                cli::JsonString(files::ToUtf8(out.pdf)).c_str(), card.cardWidthMm, card.cardHeightMm,
                card.record.CellWidth, card.record.CellHeight);
    return 0;
}

cli::CommandRegistrar reg("design", kUsage, CmdDesign);

} // namespace
