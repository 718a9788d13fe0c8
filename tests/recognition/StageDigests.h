#pragma once
// Byte-for-byte guards for the pixel stages that are tuned for speed: every
// stage's output on a fixed, seeded set of synthetic camera frames is reduced
// to an FNV-1a 64 digest and compared with the digest the straightforward
// code produced. A rewrite that changes one byte of one picture fails here,
// with the stage and the frame named.
//
// The frames themselves are digested first: when the synthetic camera (or
// the virtual camera that makes the YUV and JPEG samples) changes its
// pictures, the input digests fail and say so, and the stage digests have to
// be recorded again from code known to be right.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cardprint/GuiApp.h"
#include "cardprint/Prng.h"
#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"
#include "recognition/Bitmap.h"

namespace stage_digests {

class Fnv1a64 {
public:
    Fnv1a64& Add(const void* data, std::size_t n)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        for (std::size_t i = 0; i < n; ++i) {
            hash_ ^= p[i];
            hash_ *= 0x100000001B3ull;
        }
        return *this;
    }
    template <typename T>
    Fnv1a64& AddValue(const T& v)
    {
        return Add(&v, sizeof v);
    }
    // The picture's geometry and every byte of its rows.
    Fnv1a64& AddPicture(const BitmapView& v)
    {
        AddValue(v.width).AddValue(v.height).AddValue(v.bytesPerPixel);
        for (int y = 0; y < v.height; ++y)
            Add(v.Row(y), static_cast<std::size_t>(v.width) * static_cast<std::size_t>(v.bytesPerPixel));
        return *this;
    }
    uint64_t Value() const { return hash_; }

private:
    uint64_t hash_ = 0xCBF29CE484222325ull;
};

inline uint64_t DigestOf(const BitmapView& v)
{
    return Fnv1a64().AddPicture(v).Value();
}

// One frame of the corpus: a shipped card, filled and photographed.
struct CorpusFrame {
    std::string name;
    cardprint::ShippedCard card;
    cardprint::CameraSample sample3; // as the camera sends it: bottom-up B, G, R
    cardprint::CameraSample sample4; // the same with a fourth byte
};

inline cardprint::FilledCard FillingFor(const CardTemplate& t, uint64_t seed)
{
    cardprint::SplitMix64 rng(seed);
    cardprint::FilledCard f;
    f.abType = rng.Below(2);
    for (int i = 0; i < t.AdmColumns; ++i)
        f.admission += static_cast<char>('0' + rng.Below(10));
    for (int i = 0; i < t.SubjColumns; ++i)
        f.subject += static_cast<char>('0' + rng.Below(10));
    for (int i = 0; i < t.ScoreColumns; ++i)
        f.score += static_cast<char>('0' + rng.Below(10));
    const int options = t.DefaultOptions > 0 ? t.DefaultOptions : 4;
    for (int q = 0; q < t.QuestionCount; ++q)
        f.answers.push_back(rng.Chance(0.1) ? std::string()
                                            : std::string(1, static_cast<char>('A' + rng.Below(options))));
    f.markSeed = rng.Next();
    return f;
}

// Three poses per shipped card: near level, turned upside down with a graded
// light, and tilted under a shadow. The turned frames make the attempt run
// twice (upside down, then on the turned images).
inline const std::vector<CorpusFrame>& Corpus()
{
    static const std::vector<CorpusFrame> frames = [] {
        cardprint::EnsureGuiApplication();
        std::vector<CorpusFrame> out;
        const auto cards = cardprint::ShippedCards();
        for (std::size_t c = 0; c < cards.size(); ++c) {
            const cardprint::ShippedCard& card = cards[c];
            const cardprint::FilledCard filled = FillingFor(card.record, 1000 + c);
            const QImage face = cardprint::RenderFilledFace(card.record, card.fileName, filled);
            for (int pose = 0; pose < 3; ++pose) {
                cardprint::SynthOptions o;
                o.seed = 77 + 10 * c + static_cast<uint64_t>(pose);
                o.jpegQuality = 80 + 5 * pose;
                if (pose == 0) {
                    o.rotateDeg = 3;
                } else if (pose == 1) {
                    o.rotateDeg = -5;
                    o.turned = true;
                    o.light = cardprint::SynthOptions::LightGradient;
                    o.shiftX = 12;
                } else {
                    o.scale = 1.04;
                    o.rotateDeg = 6.5;
                    o.tiltXDeg = 4;
                    o.tiltYDeg = -5;
                    o.light = cardprint::SynthOptions::LightShadow;
                    o.shiftY = -10;
                }
                const QImage picture = cardprint::PhotographFace(card.record, card.fileName, face, 8.0, o);
                CorpusFrame f;
                f.name = "card" + std::to_string(c) + "/pose" + std::to_string(pose);
                f.card = card;
                f.sample3 = cardprint::ToCameraSample(picture, 3);
                f.sample4 = cardprint::ToCameraSample(picture, 4);
                out.push_back(std::move(f));
            }
        }
        return out;
    }();
    return frames;
}

inline BitmapView ViewOf(cardprint::CameraSample& s)
{
    return {s.pixels.data(), s.width, s.height, s.bytesPerPixel, s.width * s.bytesPerPixel};
}

// Seeded noise, for pictures and samples that must reach every byte value
// (the clip ends of the YUV arithmetic, odd sizes).
inline void FillNoise(uint8_t* p, std::size_t n, uint64_t seed)
{
    cardprint::SplitMix64 rng(seed);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t v = rng.Next();
        std::memcpy(p + i, &v, 8);
    }
    for (; i < n; ++i)
        p[i] = static_cast<uint8_t>(rng.Next());
}

// Collected digests of one test, compared as a whole so that a failure lists
// every digest that changed, and prints the table to paste when a stage's
// output is meant to change.
class DigestBook {
public:
    void Record(const std::string& name, uint64_t digest) { actual_.emplace_back(name, digest); }

    void ExpectMatches(const std::map<std::string, uint64_t>& expected, const char* tableName) const
    {
        std::vector<std::string> wrong;
        for (const auto& [name, digest] : actual_) {
            const auto it = expected.find(name);
            if (it == expected.end() || it->second != digest)
                wrong.push_back(name);
        }
        const bool sameSet = expected.size() == actual_.size();
        if (wrong.empty() && sameSet)
            return;
        std::string list;
        for (const std::string& n : wrong)
            list += "  " + n + "\n";
        std::string table;
        char line[160];
        for (const auto& [name, digest] : actual_) {
            std::snprintf(line, sizeof line, "    {\"%s\", 0x%016llXull},\n", name.c_str(),
                          static_cast<unsigned long long>(digest));
            table += line;
        }
        ADD_FAILURE() << wrong.size() << " digest(s) differ" << (sameSet ? "" : " (and the set of digests changed)")
                      << ":\n"
                      << list << "The digests of this run, for " << tableName << ":\n"
                      << table;
    }

private:
    std::vector<std::pair<std::string, uint64_t>> actual_;
};

} // namespace stage_digests
