#pragma once
// The hand-over of the newest camera sample from the capture thread to the
// 100 ms tick. The capture thread copies each complete sample in `BufferCB`;
// the tick takes the newest one with `TakeNewest` and converts from that copy,
// which stays unchanged until its next `TakeNewest`. So the tick never sees a
// torn frame nor a buffer the driver has taken back. The lock is held only to
// exchange buffers, never while copying.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

class Csamplegrabbercb {
public:
    // Capture thread: keeps a copy of the sample as the newest one.
    void BufferCB(double sampleTime, const uint8_t* buffer, size_t length);

    // Tick: the newest sample, or an empty span when none arrived since the
    // last Reset. Repeated calls without a new sample give the same sample.
    std::span<const uint8_t> TakeNewest();

    // A connection starts: forget every sample.
    void Reset();

    // How many samples arrived since the last Reset.
    uint64_t SampleCount() const;
    double NewestSampleTime() const;

private:
    mutable std::mutex lock_;
    std::vector<uint8_t> spare_;   // capture thread fills it outside the lock
    std::vector<uint8_t> latest_;  // newest complete sample
    std::vector<uint8_t> held_;    // the tick's copy
    uint64_t count_ = 0;
    uint64_t heldCount_ = 0;
    double latestTime_ = 0;
};
