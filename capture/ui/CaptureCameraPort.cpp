#include "capture/ui/CaptureCameraPort.h"

#include "capture/ui/DemoCardPictures.h"
#include "capture/ui/CameraChooser.h"
#include "platform/qt/Prompts.h"

namespace {

CaptureController::Services WithDefaults(Prompts& prompts, CaptureController::Services s)
{
    if (!s.makeVirtual)
        s.makeVirtual = MakeDemoVirtualCamera;
    if (!s.notice)
        s.notice = [&prompts](const std::string& text) { prompts.ShowStartupWarning(text); };
    return s;
}

} // namespace

CaptureCameraPort::CaptureCameraPort(Prompts& prompts, CaptureController::Services services)
    : controller_(nullptr, WithDefaults(prompts, std::move(services)))
{
    controller_.Chooser().SetMessageSink([&prompts](const std::string& text) { prompts.ShowMessage(text); });
}

void CaptureCameraPort::Connect()
{
    if (controller_.Connect() && onConnected)
        onConnected();
}
