// scorivo-cli print: a card face from its template, as PDF (real size) or PNG.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cardprint/CardFace.h"
#include "cardprint/GuiApp.h"
#include "cli/Command.h"
#include "platform/Files.h"
#include "recognition/CardTemplate.h"

namespace {

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int CmdPrint(const std::vector<std::string>& args)
{
    std::string templatePath, out, paper = "A";
    double dpi = 300;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "print: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return args[++i];
        };
        if (a == "--template")
            templatePath = value();
        else if (a == "--out")
            out = value();
        else if (a == "--dpi") {
            // "300x" is no resolution: taken as 0, it is refused with the usage below.
            const std::string v = value();
            char* end = nullptr;
            dpi = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0')
                dpi = 0;
        }
        else if (a == "--paper")
            paper = value();
        else {
            std::fprintf(stderr, "print: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (templatePath.empty() || out.empty() || (paper != "A" && paper != "B") || !(dpi >= 10 && dpi <= 2400)) {
        std::fprintf(stderr, "usage: scorivo-cli print --template PATH --out FILE.pdf|FILE.png [--dpi N] [--paper A|B]\n");
        return 2;
    }
    CardTemplate t;
    t.Clear();
    std::string message;
    if (!LoadCardTemplateFile(files::FromUtf8(templatePath), t, message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return 1;
    }
    cardprint::EnsureGuiApplication();
    cardprint::FaceOptions face;
    face.fileName = files::ToUtf8(files::FromUtf8(templatePath).filename());
    face.abType = paper == "B" ? 1 : 0;
    face.pageNotes = true;
    std::string error;
    bool ok = false;
    if (EndsWith(out, ".pdf") || EndsWith(out, ".PDF"))
        ok = cardprint::WriteCardPdf(out, {{t, face}}, &error);
    else if (EndsWith(out, ".png") || EndsWith(out, ".PNG")) {
        face.pageNotes = false;
        ok = cardprint::WriteCardPng(out, t, face, dpi, &error);
    } else {
        std::fprintf(stderr, "print: --out must end in .pdf or .png\n");
        return 2;
    }
    if (!ok) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}

cli::CommandRegistrar reg("print", "print --template PATH --out FILE.pdf|FILE.png [--dpi N] [--paper A|B]", CmdPrint);

} // namespace
