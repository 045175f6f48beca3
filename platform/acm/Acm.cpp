#include "Acm.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

#include "Driver.h"

namespace murmex::acm {

namespace {

constexpr std::uint32_t kMax32 = std::numeric_limits<std::uint32_t>::max();

// What a header was prepared with: converting it with other buffers, or
// bigger ones, is refused.
struct Prepared {
    const std::uint8_t* source;
    std::size_t sourceSize;
    std::uint8_t* destination;
    std::size_t destinationSize;
};

struct Stream {
    DriverHandle driver = 0;  // the driver handle it was opened on, or 0
    std::unique_ptr<Converter> converter;
    std::map<const StreamHeader*, Prepared> prepared;
    const StreamHeader* converting = nullptr;
};

struct OpenDriver {
    DriverId id;
    std::uint32_t streams = 0;
};

// Everything the calls share. The drivers never change once made; the
// handle tables and the flags are guarded by the mutex. Callbacks and
// conversions run without it, so that they may call back in.
class Registry {
public:
    static Registry& Get() {
        static Registry registry;
        return registry;
    }

    std::mutex mutex;
    std::vector<std::unique_ptr<Driver>> drivers = MakeDrivers();
    std::vector<bool> enabled = std::vector<bool>(drivers.size(), true);
    std::map<std::uint32_t, OpenDriver> open;
    std::map<std::uint32_t, std::shared_ptr<Stream>> streams;

    bool ValidId(DriverId id) const { return id >= 1 && id <= drivers.size(); }
    Driver& DriverOf(DriverId id) { return *drivers[id - 1]; }

    // Handles are not reused while the counter can help it, so a stale one
    // does not reach a newer object.
    std::uint32_t NewHandle() {
        do {
            ++next_;
        } while (next_ == 0 || open.count(next_) || streams.count(next_));
        return next_;
    }

    std::shared_ptr<Stream> FindStream(StreamHandle h) {
        const auto it = streams.find(h);
        return it == streams.end() ? nullptr : it->second;
    }

    // The enabled drivers, or the one behind a handle (0: all enabled).
    MmResult Select(DriverHandle handle, std::vector<std::pair<DriverId, const Driver*>>& out) {
        if (handle == 0) {
            for (DriverId id = 1; id <= drivers.size(); ++id)
                if (enabled[id - 1]) out.emplace_back(id, drivers[id - 1].get());
            return MMSYSERR_NOERROR;
        }
        const auto it = open.find(handle);
        if (it == open.end()) return MMSYSERR_INVALHANDLE;
        if (!enabled[it->second.id - 1]) return MMSYSERR_NOTENABLED;
        out.emplace_back(it->second.id, &DriverOf(it->second.id));
        return MMSYSERR_NOERROR;
    }

private:
    Registry() = default;
    std::uint32_t next_ = 0;
};

// Every call answers running out of memory with its result code.
template <class F>
MmResult Guarded(F&& f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return MMSYSERR_NOMEM;
    }
}

bool Plausible(const WaveFormat& f) {
    return f.channels != 0 && f.samplesPerSec != 0 && f.blockAlign != 0 && f.extra.size() <= 0xFFFF;
}

}  // namespace

MmResult acmDriverEnum(const std::function<bool(DriverId)>& callback) {
    if (!callback) return MMSYSERR_INVALPARAM;
    return Guarded([&] {
        std::vector<DriverId> ids;
        {
            Registry& r = Registry::Get();
            std::lock_guard lock(r.mutex);
            for (DriverId id = 1; id <= r.drivers.size(); ++id)
                if (r.enabled[id - 1]) ids.push_back(id);
        }
        for (DriverId id : ids)
            if (!callback(id)) break;
        return MMSYSERR_NOERROR;
    });
}

MmResult acmDriverOpen(DriverHandle& handle, DriverId id) {
    handle = 0;
    return Guarded([&] {
        Registry& r = Registry::Get();
        std::lock_guard lock(r.mutex);
        if (!r.ValidId(id)) return MMSYSERR_INVALHANDLE;
        if (!r.enabled[id - 1]) return MMSYSERR_NOTENABLED;
        const std::uint32_t h = r.NewHandle();
        r.open.emplace(h, OpenDriver{id});
        handle = h;
        return MMSYSERR_NOERROR;
    });
}

MmResult acmDriverClose(DriverHandle handle) {
    Registry& r = Registry::Get();
    std::lock_guard lock(r.mutex);
    const auto it = r.open.find(handle);
    if (it == r.open.end()) return MMSYSERR_INVALHANDLE;
    if (it->second.streams != 0) return ACMERR_BUSY;  // streams opened on it come first
    r.open.erase(it);
    return MMSYSERR_NOERROR;
}

MmResult acmMetricsMaxSizeFormat(DriverHandle handle, std::uint32_t& size) {
    return Guarded([&] {
        Registry& r = Registry::Get();
        std::lock_guard lock(r.mutex);
        std::vector<std::pair<DriverId, const Driver*>> selected;
        if (const MmResult e = r.Select(handle, selected)) return e;
        std::uint32_t largest = 18;
        for (const auto& [id, driver] : selected) largest = std::max(largest, driver->MaxFormatSize());
        size = largest;
        return MMSYSERR_NOERROR;
    });
}

MmResult acmFormatEnum(DriverHandle handle, const std::function<bool(DriverId, const WaveFormat&)>& callback) {
    if (!callback) return MMSYSERR_INVALPARAM;
    return Guarded([&] {
        std::vector<std::pair<DriverId, const Driver*>> selected;
        {
            Registry& r = Registry::Get();
            std::lock_guard lock(r.mutex);
            if (const MmResult e = r.Select(handle, selected)) return e;
        }
        // The drivers live as long as the process and never change.
        for (const auto& [id, driver] : selected)
            for (const WaveFormat& f : driver->Formats())
                if (!callback(id, f)) return MMSYSERR_NOERROR;
        return MMSYSERR_NOERROR;
    });
}

MmResult acmStreamOpen(StreamHandle& handle, DriverHandle driver, const WaveFormat& source,
                       const WaveFormat& destination) {
    handle = 0;
    if (!Plausible(source) || !Plausible(destination)) return MMSYSERR_INVALPARAM;
    return Guarded([&] {
        Registry& r = Registry::Get();
        std::lock_guard lock(r.mutex);
        const Driver* chosen = nullptr;
        if (driver != 0) {
            const auto it = r.open.find(driver);
            if (it == r.open.end()) return MMSYSERR_INVALHANDLE;
            if (!r.enabled[it->second.id - 1]) return MMSYSERR_NOTENABLED;
            chosen = &r.DriverOf(it->second.id);
            if (!chosen->CanConvert(source, destination)) return ACMERR_NOTPOSSIBLE;
        } else {
            for (DriverId id = 1; id <= r.drivers.size() && !chosen; ++id)
                if (r.enabled[id - 1] && r.DriverOf(id).CanConvert(source, destination)) chosen = &r.DriverOf(id);
            if (!chosen) return ACMERR_NOTPOSSIBLE;
        }
        auto stream = std::make_shared<Stream>();
        stream->driver = driver;
        stream->converter = chosen->Open(source, destination);
        if (!stream->converter) return ACMERR_NOTPOSSIBLE;
        const std::uint32_t h = r.NewHandle();
        r.streams.emplace(h, std::move(stream));
        if (driver != 0) ++r.open.at(driver).streams;
        handle = h;
        return MMSYSERR_NOERROR;
    });
}

MmResult acmStreamPrepareHeader(StreamHandle handle, StreamHeader& header) {
    return Guarded([&] {
        Registry& r = Registry::Get();
        std::lock_guard lock(r.mutex);
        const auto stream = r.FindStream(handle);
        if (!stream) return MMSYSERR_INVALHANDLE;
        if (header.source.size() > kMax32 || header.destination.size() > kMax32) return MMSYSERR_INVALPARAM;
        // Preparing twice is harmless, as it always was.
        stream->prepared.try_emplace(&header, Prepared{header.source.data(), header.source.size(),
                                                       header.destination.data(), header.destination.size()});
        header.prepared = true;
        return MMSYSERR_NOERROR;
    });
}

MmResult acmStreamConvert(StreamHandle handle, StreamHeader& header) {
    return Guarded([&] {
        Registry& r = Registry::Get();
        std::shared_ptr<Stream> stream;
        {
            std::lock_guard lock(r.mutex);
            stream = r.FindStream(handle);
            if (!stream) return MMSYSERR_INVALHANDLE;
            const auto it = stream->prepared.find(&header);
            if (it == stream->prepared.end()) return ACMERR_UNPREPARED;
            if (stream->converting) return ACMERR_BUSY;
            const Prepared& p = it->second;
            if (header.source.data() != p.source || header.source.size() > p.sourceSize ||
                header.destination.data() != p.destination || header.destination.size() > p.destinationSize)
                return MMSYSERR_INVALPARAM;
            stream->converting = &header;
        }
        // Whatever happens in the converter, the stream must not stay busy.
        ConvertResult result;
        try {
            result = stream->converter->Convert(header.source, header.destination);
        } catch (const std::bad_alloc&) {
            result = {0, 0, MMSYSERR_NOMEM};
        } catch (const std::exception&) {
            result = {0, 0, MMSYSERR_ERROR};
        }
        header.sourceUsed = result.sourceUsed;
        header.destinationUsed = result.destinationUsed;
        std::lock_guard lock(r.mutex);
        stream->converting = nullptr;
        return result.result;
    });
}

MmResult acmStreamUnprepareHeader(StreamHandle handle, StreamHeader& header) {
    Registry& r = Registry::Get();
    std::lock_guard lock(r.mutex);
    const auto stream = r.FindStream(handle);
    if (!stream) return MMSYSERR_INVALHANDLE;
    const auto it = stream->prepared.find(&header);
    if (it == stream->prepared.end()) return ACMERR_UNPREPARED;
    if (stream->converting == &header) return ACMERR_BUSY;
    stream->prepared.erase(it);
    header.prepared = false;
    return MMSYSERR_NOERROR;
}

MmResult acmStreamClose(StreamHandle handle) {
    Registry& r = Registry::Get();
    std::lock_guard lock(r.mutex);
    const auto it = r.streams.find(handle);
    if (it == r.streams.end()) return MMSYSERR_INVALHANDLE;
    const Stream& stream = *it->second;
    if (stream.converting || !stream.prepared.empty()) return ACMERR_BUSY;
    if (stream.driver != 0) {
        const auto d = r.open.find(stream.driver);
        if (d != r.open.end()) --d->second.streams;
    }
    r.streams.erase(it);
    return MMSYSERR_NOERROR;
}

MmResult acmStreamSize(StreamHandle handle, std::uint32_t sourceBytes, std::uint32_t& destinationBytes) {
    Registry& r = Registry::Get();
    std::lock_guard lock(r.mutex);
    const auto stream = r.FindStream(handle);
    if (!stream) return MMSYSERR_INVALHANDLE;
    const std::uint64_t size = stream->converter->DestinationSize(sourceBytes);
    if (size > kMax32) return ACMERR_NOTPOSSIBLE;
    destinationBytes = static_cast<std::uint32_t>(size);
    return MMSYSERR_NOERROR;
}

MmResult acmDriverDetails(DriverId id, std::string& name) {
    return Guarded([&] {
        Registry& r = Registry::Get();
        std::lock_guard lock(r.mutex);
        if (!r.ValidId(id)) return MMSYSERR_INVALHANDLE;
        name = r.DriverOf(id).Name();
        return MMSYSERR_NOERROR;
    });
}

MmResult acmDriverEnable(DriverId id, bool enabled) {
    Registry& r = Registry::Get();
    std::lock_guard lock(r.mutex);
    if (!r.ValidId(id)) return MMSYSERR_INVALHANDLE;
    r.enabled[id - 1] = enabled;
    return MMSYSERR_NOERROR;
}

}  // namespace murmex::acm
