#pragma once
// `EnumerateCameras`: the V4L2 capture devices (at most 4), then the virtual
// camera when a place is left.

#include <functional>
#include <memory>

#include "capture/CameraSource.h"
#include "capture/V4l2Io.h"

using VirtualCameraFactory = std::function<std::shared_ptr<CameraSource>()>;

// Clears `table` and fills it. `makeVirtual` may be empty (no virtual camera).
void EnumerateCameras(CameraTable& table, const std::shared_ptr<V4l2Io>& io, const VirtualCameraFactory& makeVirtual);
