#pragma once
// The main window's camera port, served by the capture subsystem: real V4L2
// cameras and the virtual camera with the demo card stack.
//
//     CaptureCameraPort camera(prompts);
//     services.camera = &camera;
//     TMainForm form(services);
//     camera.SetOwner(&form);

#include <functional>

#include "app/ui/MainWindow.h"
#include "capture/ui/CaptureController.h"

class Prompts;

class CaptureCameraPort final : public CameraPort {
public:
    // `prompts` shows "no camera found" as its "提示：" notice and the
    // chooser's refusal as a plain message.
    explicit CaptureCameraPort(Prompts& prompts, CaptureController::Services services = {});

    void SetOwner(QWidget* owner) { controller_.SetOwner(owner); }

    void Connect() override;
    void ShowProperties() override { controller_.ShowCameraProperties(); }
    int CameraCount() const override { return controller_.CameraCount(); }
    void Release() override { controller_.Release(); }
    void LayOutPreview() override
    {
        if (layOutPreview)
            layOutPreview();
    }

    CaptureController& Controller() { return controller_; }
    // After a camera was started: the window enables `Timer1` and the rest.
    std::function<void()> onConnected;
    // The marking preview's layout, served by whoever draws the preview.
    std::function<void()> layOutPreview;

private:
    CaptureController controller_;
};
