#pragma once
// Card pictures from files for the commands that read them as camera samples.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "recognition/RecognitionContext.h"

namespace cli {

inline constexpr int SampleWidth = 640;
inline constexpr int SampleHeight = 480;

// A decoded picture, top row first, 3 bytes R, G, B per pixel.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// JPEG through libjpeg, other formats through Qt's image readers. A picture
// there is no memory for is an error that says so, never a blank frame.
// With `forFrame` only a 640 x 480 frame is needed: a large JPEG is decoded
// at a half, a quarter or an eighth of its size, never below the frame's.
bool LoadPicture(const std::filesystem::path& path, Picture& out, std::string& error, bool forFrame = false);
// Scales a picture of another size into the middle of a white 640 x 480 frame.
bool FitIntoFrame(const Picture& p, Picture& out, std::string& error);
// A picture as a camera sample: with `fit` scaled into the frame when it has
// another size, without it refused unless it is 640 x 480. However many
// threads call it, the pictures in decoding hold at most 1 GB at once.
bool LoadFramePicture(const std::filesystem::path& path, bool fit, Picture& out, std::string& error);
// The picture as a camera sample in FrameBitmap (bottom row first), turned by
// 180 degrees as every sample is.
void LoadSample(RecognitionContext& ctx, const Picture& p);

// Pictures other than JPEG and --fit go through Qt, whose image readers need
// the application object; only the main thread may create it, so a batch
// creates it before its workers start when any of its pictures will need it
// (on one worker too, so that Qt's start-up notes come first either way).
void PrepareImageReadersForWorkers(const std::vector<std::string>& files, bool fit);

} // namespace cli
