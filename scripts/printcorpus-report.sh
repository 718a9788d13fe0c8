#!/usr/bin/env bash
# Both printed-card corpora, card by card, side by side: the first
# (tests/printcorpus/PrintedCards.h) and the independent second one
# (tests/printcorpus/IndependentCards.h), each at FRAMES frames per shipped
# card, written to docs/recognition-corpora.md.
#
#   bash scripts/printcorpus-report.sh [FRAMES] [BUILD_DIR]   (defaults: 400, build)
#
# Build the test first: cmake --build build --target printcorpus_tests.
# SCORIVO_PRINTED_SEED and SCORIVO_INDEPENDENT_SEED draw other corpora;
# REPORT=FILE writes the table elsewhere. At 400 frames a card the two runs
# take some minutes each on one core.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
frames="${1:-400}"
build="$(cd "${2:-$here/build}" && pwd)"
tests="$build/tests/printcorpus_tests"
report="${REPORT:-$here/docs/recognition-corpora.md}"
[[ "$frames" =~ ^[0-9]+$ && "$frames" -ge 1 ]] || { echo "printcorpus-report: FRAMES must be a number >= 1" >&2; exit 2; }
[[ -x "$tests" ]] || { echo "printcorpus-report: $tests is missing: build printcorpus_tests first" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A failing assertion (a frame read wrong, a card under the bar) still leaves
# its counts to report.
SCORIVO_PRINTED_FRAMES="$frames" SCORIVO_PRINTED_VERBOSE=1 \
    "$tests" --gtest_filter='PrintedCorpus.ShippedCardsReadRightOrRefuse' >"$work/first" 2>&1 || true
SCORIVO_INDEPENDENT_FRAMES="$frames" SCORIVO_INDEPENDENT_VERBOSE=1 \
    "$tests" --gtest_filter='IndependentCorpus.ShippedCardsReadRightOrRefuse' >"$work/second" 2>&1 || true

# Per card and corpus: frames, right, refused, wrong, and refusals for doubt
# (code 13 sent back by a rule of the answers, a thumb's skin not counted).
# Both runs list every frame not read right with its rule; the summary lines
# give the counts.
awk -v frames="$frames" -v commit="$(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown)" '
function pct(n, d) { return d > 0 ? sprintf("%.1f %%", 100 * n / d) : "-" }
FNR == 1 { corpus = (FILENAME ~ /first$/) ? 1 : 2 }
# Summary lines: "CARD: N frames, R right, F refused (...), W wrong..." (the
# second corpus starts them with "independent ").
/^(independent )?[^ ]+\.dat: [0-9]+ frames, / {
    line = $0
    sub(/^independent /, "", line)
    card = substr(line, 1, index(line, ":") - 1)
    if (!(card in seen)) { seen[card] = 1; order[++cards] = card }
    split(substr(line, index(line, ":") + 2), w, " ")
    n[corpus, card] = w[1]; right[corpus, card] = w[3]; refused[corpus, card] = w[5]
    match(line, /[0-9]+ wrong/)
    wrong[corpus, card] = substr(line, RSTART, RLENGTH) + 0
    # "(codes 1x2 13x5; rules ...)" or "(codes 13x2)": the refusal codes and their counts.
    match(line, /\(codes[^);]*/)
    codes[corpus, card] = substr(line, RSTART + 6, RLENGTH - 6)
}
# A number read with a blank or unclear column, or another subject: refused with code 0.
/^  [^ ]+\.dat #[0-9]+ refused code 0 / {
    header[corpus, $1]++
}
# A frame sent back by a rule: "  CARD #I refused code 13 ... rule '\''RULE'\'' at qN ..."
/^  [^ ]+\.dat #[0-9]+ refused code 13 / && /rule '\''/ {
    card = $1
    # A rule may hold an apostrophe (a neighbour'\''s mark): it ends where " at q" follows the quote.
    match($0, /rule '\''.*'\'' at q/)
    rule = substr($0, RSTART + 6, RLENGTH - 12)
    rules[corpus, card, rule]++
    if (!((corpus, card, rule) in ruleSeen)) { ruleSeen[corpus, card, rule] = 1; ruleList[corpus, card] = ruleList[corpus, card] "\t" rule }
    if (rule != "skin near the cells") doubt[corpus, card]++
}
/^  [^ ]+\.dat #[0-9]+ WRONG / { wrongLines[corpus] = wrongLines[corpus] "- `" substr($0, 3) "`\n" }
END {
    print "# Recognition on printed cards: both corpora"
    print ""
    print "Every shipped card of \"答题卡.pdf\", filled in pencil and photographed, read by the whole reading"
    print "(a raw reading without a roster, some questions multiple choice: every seventh in the first corpus,"
    print "the last fifth in the second). Two corpora made apart:"
    print ""
    print "- **first**: `tests/printcorpus/PrintedCards.h`: pages rasterised by pdftoppm, marks placed where"
    print "  the card face puts the bubbles, one pinhole camera with a Bayer sensor;"
    print "- **second**: `tests/printcorpus/IndependentCards.h`: pages drawn by pdftocairo, bubbles found on the"
    print "  pixels, the print recoloured, ovals, scribbles and ticks up to a fifth of a cell off the bubble,"
    print "  light before perspective, a rolling shadow, flicker, a lamp a few hundred kelvin off, defocus,"
    print "  colour fringes, noise before MJPG or I420."
    print ""
    print "A frame is read right, refused (any refusal code; an admission number with a blank or unclear"
    print "column; a subject other than written), or read **wrong** (a reading that differs without a"
    print "refusal). \"For doubt\": refused with code 13 by a rule of the answers. Frames inside the envelope"
    print "the reader accepts, " frames " per card, default seeds, commit " commit "."
    print ""
    print "| card | first: frames | right | refused | wrong | for doubt | second: frames | right | refused | wrong | for doubt |"
    print "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    for (i = 1; i <= cards; ++i) {
        c = order[i]
        row = "| " c
        for (k = 1; k <= 2; ++k)
            row = row sprintf(" | %s | %s | %s | %s | %s", n[k, c] + 0, pct(right[k, c], n[k, c]),
                              pct(refused[k, c], n[k, c]), wrong[k, c] + 0, pct(doubt[k, c], n[k, c]))
        print row " |"
    }
    print ""
    print "## Refusals by code"
    print ""
    print "Code 13 covers every refusal of acceptance (a re-read rule of the answers, the colour of the machine card, the"
    print "AB cells, the subjective score, skin near the cells); codes 1 and 2: no detection lines found; 0: the frame"
    print "was read but its admission number has a blank or unclear column, or its subject differs."
    print ""
    print "| card | first | second |"
    print "|---|---|---|"
    for (i = 1; i <= cards; ++i) {
        c = order[i]
        row = "| " c
        for (k = 1; k <= 2; ++k) {
            text = codes[k, c]
            gsub(/^ +| +$/, "", text)
            gsub(/ /, ", ", text)
            if (header[k, c]) text = text (text == "" ? "" : ", ") "0x" header[k, c]
            row = row " | " (text == "" ? "none" : text)
        }
        print row " |"
    }
    print ""
    print "## Refusals by rule"
    print ""
    listed = 0
    for (i = 1; i <= cards; ++i)
        for (k = 1; k <= 2; ++k) {
            c = order[i]
            if (!((k, c) in ruleList)) continue
            m = split(substr(ruleList[k, c], 2), list, "\t")
            text = ""
            for (j = 1; j <= m; ++j) text = text (j > 1 ? ", " : "") list[j] " " rules[k, c, list[j]]
            print "- " c ", " (k == 1 ? "first" : "second") ": " text
            ++listed
        }
    if (!listed) print "None."
    print ""
    print "## Read wrong"
    print ""
    for (k = 1; k <= 2; ++k)
        printf "%s", (k == 1 ? "First corpus:" : "Second corpus:") (wrongLines[k] == "" ? " none.\n\n" : "\n\n" wrongLines[k] "\n")
    print "## Reproduce"
    print ""
    print "```"
    print "cmake --build build --target printcorpus_tests"
    print "bash scripts/printcorpus-report.sh " frames
    print "```"
}' "$work/first" "$work/second" >"$report"
echo "printcorpus-report: wrote $report"
