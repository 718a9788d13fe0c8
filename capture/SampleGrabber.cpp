#include "capture/SampleGrabber.h"

#include <cstring>
#include <utility>

void Csamplegrabbercb::BufferCB(double sampleTime, const uint8_t* buffer, size_t length)
{
    if (!buffer || length == 0)
        return;
    std::vector<uint8_t> work;
    {
        std::lock_guard<std::mutex> guard(lock_);
        work.swap(spare_);
    }
    work.resize(length);
    std::memcpy(work.data(), buffer, length);
    std::lock_guard<std::mutex> guard(lock_);
    latest_.swap(work);
    spare_.swap(work);  // the older sample's memory is reused for the next one
    latestTime_ = sampleTime;
    ++count_;
}

std::span<const uint8_t> Csamplegrabbercb::TakeNewest()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (count_ == 0)
        return {};
    if (count_ != heldCount_) {
        held_.swap(latest_);
        heldCount_ = count_;
        // latest_ now holds an older sample; the next BufferCB replaces it whole.
    }
    return {held_.data(), held_.size()};
}

void Csamplegrabbercb::Reset()
{
    std::lock_guard<std::mutex> guard(lock_);
    count_ = 0;
    heldCount_ = 0;
    latestTime_ = 0;
    latest_.clear();
    held_.clear();
}

uint64_t Csamplegrabbercb::SampleCount() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return count_;
}

double Csamplegrabbercb::NewestSampleTime() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return latestTime_;
}
