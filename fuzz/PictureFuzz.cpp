// Fuzz entries for the card pictures the command line reads: a picture either
// is refused with a reason or decodes to its own size within the limits, and
// then goes into a camera frame like any other.
#include <QtGlobal>

#include <utility>

#include "capture/JpegFrame.h"
#include "cli/PictureLoading.h"
#include "fuzz/FuzzEntries.h"
#include "platform/Files.h"

namespace fuzz {

namespace {

// Qt's image readers warn about every corrupt chunk; a run would print
// millions of lines that say nothing a crash would not.
void QuietImageReaders()
{
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;
}

int LoadAs(const std::string& extension, const uint8_t* data, std::size_t size)
{
    QuietImageReaders();
    const auto path = ScratchFile(extension);
    if (!files::WriteAll(path, std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    cli::Picture picture;
    std::string error;
    if (!cli::LoadPicture(path, picture, error)) {
        Check(!error.empty());
        return 0;
    }
    Check(PictureSizeAcceptable(picture.width, picture.height));
    Check(picture.rgb.size() == static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 3);
    // Scaling a large picture costs more than the decoding it follows; a
    // picture of up to a phone camera's size shows the same faults.
    if (picture.width != cli::SampleWidth || picture.height != cli::SampleHeight) {
        if (static_cast<long long>(picture.width) * picture.height > 4LL * 1000 * 1000)
            return 0;
        cli::Picture fitted;
        Check(cli::FitIntoFrame(picture, fitted, error));
        picture = std::move(fitted);
    }
    Check(picture.width == cli::SampleWidth && picture.height == cli::SampleHeight);
    static RecognitionContext* ctx = [] {
        auto* c = new RecognitionContext;
        c->SetUp(cli::SampleWidth, cli::SampleHeight, 3);
        return c;
    }();
    cli::LoadSample(*ctx, picture);
    return 0;
}

} // namespace

int JpegPicture(const uint8_t* data, std::size_t size)
{
    return LoadAs(".jpg", data, size);
}

int OtherPicture(const uint8_t* data, std::size_t size)
{
    return LoadAs(".png", data, size);
}

} // namespace fuzz
