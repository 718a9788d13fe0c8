// The marking attempt's fuzz entry over synthetic camera frames of the
// shipped templates and seeded mutations of frame and template.
#include <gtest/gtest.h>

#include "fuzz/FuzzReplay.h"
#include "platform/Files.h"

TEST(MarkingFuzzReplay, FramesAndTemplates)
{
    const auto seeds = fuzz::MarkingSeeds(files::FromUtf8(SCORIVO_SOURCE_DIR) / "data");
    ASSERT_EQ(seeds.size(), 8u);
    fuzz::Replay(fuzz::MarkingAttempt, seeds, 80, 31);
}
