#pragma once
// The demo card stack as pictures for the virtual camera: each card of
// cardprint's demo stack photographed by the synthetic camera, upright as the
// program shows it. Pictures are drawn when the camera reaches the card.

#include <QImage>
#include <cstring>
#include <memory>
#include <vector>

#include "capture/VirtualCamera.h"
#include "cardprint/DemoStack.h"
#include "cardprint/ShippedCards.h"
#include "cardprint/SynthCamera.h"

class DemoCardPictures final : public CardPictureProvider {
public:
    DemoCardPictures() : stack_(cardprint::DemoCardStack()), name_(cardprint::DemoTemplateName())
    {
        for (const auto& shipped : cardprint::ShippedCards())
            if (shipped.fileName == name_) {
                template_ = shipped.record;
                found_ = true;
            }
    }

    int Count() override { return found_ ? int(stack_.size()) : 0; }
    std::string CardName() const override { return found_ ? name_ : std::string(); }

    bool Picture(int index, std::vector<uint8_t>& bgr) override
    {
        if (!found_ || index < 0 || index >= Count())
            return false;
        cardprint::SynthOptions o;
        o.seed = 7001 + uint64_t(index);
        o.upright = true;
        // Each card lies a little differently; the camera adds its own sensor noise.
        o.rotateDeg = double((index * 37) % 7 - 3) * 0.6;
        o.shiftX = double((index * 13) % 9 - 4) * 5;
        o.shiftY = double((index * 7) % 5 - 2) * 4;
        o.noise = 1.0;
        o.blur = 1.2;  // a webcam's soft focus
        const QImage picture = cardprint::SynthesizeCameraImage(template_, name_, stack_[size_t(index)].card, o)
                                   .convertToFormat(QImage::Format_BGR888);
        if (picture.width() != Width || picture.height() != Height)
            return false;
        bgr.resize(size_t(Width) * Height * 3);
        for (int y = 0; y < Height; ++y)
            std::memcpy(bgr.data() + size_t(y) * Width * 3, picture.constScanLine(y), size_t(Width) * 3);
        return true;
    }

    const std::vector<cardprint::DemoCard>& Stack() const { return stack_; }

private:
    std::vector<cardprint::DemoCard> stack_;
    std::string name_;
    CardTemplate template_{};
    bool found_ = false;
};

// The virtual camera the program lists: the demo stack (or SCORIVO_VIRTUAL_DIR).
inline std::shared_ptr<CameraSource> MakeDemoVirtualCamera()
{
    return MakeVirtualCamera(std::make_shared<DemoCardPictures>());
}
