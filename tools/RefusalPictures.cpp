// scorivo-refusalpictures FOLDER
// Writes the help page's picture of every refusal reason, <reason>.png, from
// the cards cardprint/RefusalExamples.cpp fills to earn each one:
//   build/tools/scorivo-refusalpictures data/帮助/images
#include <cstdio>
#include <filesystem>

#include "capture/ui/CaptureController.h"
#include "cardprint/GuiApp.h"
#include "cardprint/RefusalExamples.h"
#include "platform/Files.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: scorivo-refusalpictures FOLDER\n");
        return 2;
    }
    cardprint::EnsureGuiApplication();
    const std::filesystem::path folder = files::FromUtf8(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (const cardprint::RefusalExample& e : cardprint::RefusalExamples()) {
        const std::filesystem::path file = folder / files::FromUtf8(e.pictureName + ".png");
        if (!cardprint::RefusalExamplePicture(e, LabelFrameLoopView::RefusalOutlineColour)
                 .save(QString::fromStdString(files::ToUtf8(file)), "PNG")) {
            std::fprintf(stderr, "%s: cannot write\n", files::ToUtf8(file).c_str());
            return 1;
        }
    }
    return 0;
}
