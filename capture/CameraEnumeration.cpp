#include "capture/CameraEnumeration.h"

#include "capture/V4l2Camera.h"

void EnumerateCameras(CameraTable& table, const std::shared_ptr<V4l2Io>& io, const VirtualCameraFactory& makeVirtual)
{
    table.Clear();
    // A fifth device is not opened and its name stays out of the list.
    for (auto& camera : FindV4l2Cameras(io, CameraTable::Capacity))
        table.Add(std::move(camera));
    if (makeVirtual && table.count < CameraTable::Capacity)
        table.Add(makeVirtual());
}
