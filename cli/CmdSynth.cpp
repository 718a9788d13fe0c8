// scorivo-cli synth: a filled card photographed by the synthetic camera.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cardprint/CardFace.h"
#include "cardprint/GuiApp.h"
#include "cardprint/SynthCamera.h"
#include "cli/Command.h"
#include "platform/Files.h"
#include "recognition/CardTemplate.h"

namespace {

const char* const kUsage =
    "synth --template PATH --out FILE.png|FILE.jpg [--truth FILE.json] [--paper A|B] [--admission DIGITS] "
    "[--subject DIGITS] [--score DIGITS] [--answers LIST] [--seed N] [--scale F] [--rotate DEG] [--tilt DEG,DEG] "
    "[--shift DX,DY] [--light none|gradient|shadow] [--noise F] [--blur F] [--jpeg Q] [--upright]";

bool ParsePair(const std::string& s, double& a, double& b)
{
    auto comma = s.find(',');
    if (comma == std::string::npos)
        return false;
    char* end = nullptr;
    a = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + comma)
        return false;
    b = std::strtod(s.c_str() + comma + 1, &end);
    return *end == '\0' && std::isfinite(a) && std::isfinite(b);
}

bool ParseNumber(const std::string& s, double& v)
{
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    // "nan" and "inf" parse, but no picture can be drawn with them.
    return !s.empty() && *end == '\0' && std::isfinite(v);
}

bool Digits(const std::string& s)
{
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == ' ' || c == '_'))
            return false;
    return true;
}

int CmdSynth(const std::vector<std::string>& args)
{
    std::string templatePath, out, truthPath;
    cardprint::FilledCard card;
    cardprint::SynthOptions o;
    bool seedGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--upright") {
            o.upright = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "synth: %s needs a value\nusage: scorivo-cli %s\n", a.c_str(), kUsage);
            return 2;
        }
        const std::string v = args[++i];
        double x = 0, y = 0;
        bool ok = true;
        if (a == "--template")
            templatePath = v;
        else if (a == "--out")
            out = v;
        else if (a == "--truth")
            truthPath = v;
        else if (a == "--paper") {
            ok = v == "A" || v == "B";
            card.abType = v == "B" ? 1 : 0;
        } else if (a == "--admission") {
            ok = Digits(v);
            card.admission = v;
        } else if (a == "--subject") {
            ok = Digits(v);
            card.subject = v;
        } else if (a == "--score") {
            ok = Digits(v);
            card.score = v;
        } else if (a == "--answers")
            card.answers = cardprint::ParseAnswerList(v);
        else if (a == "--seed") {
            ok = ParseNumber(v, x) && x >= 0;
            o.seed = std::strtoull(v.c_str(), nullptr, 10);
            seedGiven = true;
        } else if (a == "--scale") {
            ok = ParseNumber(v, x) && x > 0.2 && x < 5;
            o.scale = x;
        } else if (a == "--rotate") {
            ok = ParseNumber(v, x) && std::abs(x) <= 360;
            o.rotateDeg = x;
        } else if (a == "--tilt") {
            ok = ParsePair(v, x, y) && std::abs(x) < 60 && std::abs(y) < 60;
            o.tiltXDeg = x;
            o.tiltYDeg = y;
        } else if (a == "--shift") {
            ok = ParsePair(v, x, y);
            o.shiftX = x;
            o.shiftY = y;
        } else if (a == "--light") {
            ok = v == "none" || v == "gradient" || v == "shadow";
            o.light = v == "gradient" ? cardprint::SynthOptions::LightGradient
                      : v == "shadow" ? cardprint::SynthOptions::LightShadow
                                      : cardprint::SynthOptions::LightNone;
        } else if (a == "--noise") {
            ok = ParseNumber(v, x) && x >= 0 && x <= 100;
            o.noise = x;
        } else if (a == "--blur") {
            ok = ParseNumber(v, x) && x >= 0 && x <= 20;
            o.blur = x;
        } else if (a == "--jpeg") {
            ok = ParseNumber(v, x) && x >= 1 && x <= 100;
            o.jpegQuality = static_cast<int>(x);
        } else {
            std::fprintf(stderr, "synth: unknown option %s\nusage: scorivo-cli %s\n", a.c_str(), kUsage);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "synth: bad value for %s: %s\n", a.c_str(), v.c_str());
            return 2;
        }
    }
    if (templatePath.empty() || out.empty()) {
        std::fprintf(stderr, "usage: scorivo-cli %s\n", kUsage);
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
    std::string name = files::ToUtf8(files::FromUtf8(templatePath).filename());
    card.markSeed = seedGiven ? o.seed * 7919 + 1 : 1;
    bool jpg = out.size() > 4 && (out.compare(out.size() - 4, 4, ".jpg") == 0 || out.compare(out.size() - 4, 4, ".JPG") == 0);
    // A JPEG output is itself the compression (quality 90 unless --jpeg says otherwise).
    int jpegQuality = o.jpegQuality > 0 ? o.jpegQuality : 90;
    if (jpg)
        o.jpegQuality = 0;
    if (std::string why = cardprint::CardImageSizeProblem(t, name, cardprint::SynthPixelsPerMm); !why.empty()) {
        std::fprintf(stderr, "synth: %s\n", why.c_str());
        return 1;
    }
    cardprint::SynthTruth truth;
    QImage img = cardprint::SynthesizeCameraImage(t, name, card, o, &truth);
    if (img.isNull()) {
        std::fprintf(stderr, "synth: 内存不足，画不出这张答题卡。\n");
        return 1;
    }
    if (jpg)
        truth.options.jpegQuality = jpegQuality;
    bool saved = jpg ? img.save(QString::fromStdString(out), "JPG", jpegQuality)
                     : img.save(QString::fromStdString(out), "PNG");
    if (!saved) {
        std::fprintf(stderr, "synth: cannot write %s\n", out.c_str());
        return 1;
    }
    if (!truthPath.empty()) {
        std::string err;
        if (!files::WriteAtomic(files::FromUtf8(truthPath), cardprint::TruthToJson(truth), &err)) {
            std::fprintf(stderr, "synth: cannot write %s: %s\n", truthPath.c_str(), err.c_str());
            return 1;
        }
    }
    return 0;
}

cli::CommandRegistrar reg("synth", kUsage, CmdSynth);

} // namespace
