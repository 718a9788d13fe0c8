#pragma once
// A camera as the program sees it: a name for the chooser, a stream of
// samples into the callback object, and optional picture controls. Real
// cameras (V4L2) and the virtual camera are both sources.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Csamplegrabbercb;

// One adjustable picture setting of a device ("画质调节").
struct CameraControl {
    enum class Kind { Integer, Boolean, Menu };
    uint32_t id = 0;
    std::string name;  // as the driver names it, UTF-8
    Kind kind = Kind::Integer;
    int32_t minimum = 0;
    int32_t maximum = 0;
    int32_t step = 1;
    int32_t defaultValue = 0;
    int32_t value = 0;
    std::vector<std::pair<int32_t, std::string>> menu;  // index and caption, for Kind::Menu
};

class CameraControls {
public:
    virtual ~CameraControls() = default;
    // The device's current settings; empty when it has none or is gone.
    virtual std::vector<CameraControl> ListControls() = 0;
    // Applies one value at once; false when the device refuses it.
    virtual bool SetControl(uint32_t id, int32_t value) = 0;
    // The value in force now (the driver may have adjusted what was set).
    virtual bool GetControl(uint32_t id, int32_t& value) = 0;
};

class CameraSource {
public:
    virtual ~CameraSource() = default;
    virtual std::string FriendlyName() const = 0;
    // Reads the format in force (its subtype becomes `SourceSubtype`), asks
    // for 640 × 480 at 10 frames per second and starts delivering samples to
    // `sink`. A source that cannot stream still reports the subtype it read
    // (or 0) and simply delivers nothing. Returns false when even that failed.
    virtual bool Start(Csamplegrabbercb& sink, int32_t& sourceSubtype) = 0;
    virtual void Stop() = 0;
    // False once the stream has ended (stopped, never started, or the device went away).
    virtual bool Streaming() const = 0;
    // Picture settings; null when the source has none.
    virtual CameraControls* Controls() { return nullptr; }
    // A source that plays a recording starts it again from its beginning; a
    // live camera has nothing to restart.
    virtual void Restart() {}
    // The card template (file name, UTF-8) every card of a recording shows,
    // when one does; empty for a live camera.
    virtual std::string RecordedCard() const { return {}; }
};

struct CameraEntry {
    std::shared_ptr<CameraSource> filter;
    std::string name;  // UTF-8 friendly name
};

// Up to 4 cameras from the last enumeration; the count is what the wizard's
// "下一步" on the camera page tests.
struct CameraTable {
    static constexpr int Capacity = 4;
    std::array<CameraEntry, Capacity> entries;
    int count = 0;

    void Clear()
    {
        for (auto& e : entries)
            e = {};
        count = 0;
    }
    // False (and nothing kept) when the table is full.
    bool Add(std::shared_ptr<CameraSource> source)
    {
        if (count >= Capacity || !source)
            return false;
        entries[size_t(count)].name = source->FriendlyName();
        entries[size_t(count)].filter = std::move(source);
        ++count;
        return true;
    }
};
