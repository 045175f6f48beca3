// Our audio compression manager: the operations the suite's converters call
// (enumerate drivers, open a driver, its largest format record, enumerate its
// formats, and non-real-time conversion streams), with the result codes
// callers know. Behind it, one class per driver, each with its format table
// and its converter. Handles are numbers in a registry, so a stale or made-up
// handle is answered with MMSYSERR_INVALHANDLE rather than a crash.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "WaveFormat.h"

namespace murmex::acm {

using MmResult = std::uint32_t;
inline constexpr MmResult MMSYSERR_NOERROR = 0;
inline constexpr MmResult MMSYSERR_ERROR = 1;
inline constexpr MmResult MMSYSERR_NOTENABLED = 3;
inline constexpr MmResult MMSYSERR_INVALHANDLE = 5;
inline constexpr MmResult MMSYSERR_NOMEM = 7;
inline constexpr MmResult MMSYSERR_INVALFLAG = 10;
inline constexpr MmResult MMSYSERR_INVALPARAM = 11;
inline constexpr MmResult ACMERR_NOTPOSSIBLE = 512;
inline constexpr MmResult ACMERR_BUSY = 513;
inline constexpr MmResult ACMERR_UNPREPARED = 514;

using DriverId = std::uint32_t;      // 1.. in enumeration order
using DriverHandle = std::uint32_t;  // 0 = none
using StreamHandle = std::uint32_t;  // 0 = none

// Enabled drivers in a fixed order: the PCM converter first, then the codecs.
// The callback returns false to stop.
MmResult acmDriverEnum(const std::function<bool(DriverId)>& callback);
MmResult acmDriverOpen(DriverHandle& handle, DriverId id);
MmResult acmDriverClose(DriverHandle handle);
// The largest format record (18 + extra bytes) among the driver's formats.
MmResult acmMetricsMaxSizeFormat(DriverHandle handle, std::uint32_t& size);
// Every format of the driver, complete records, in the driver's order. The
// callback gets the id of the driver that reports the format and returns
// false to stop.
MmResult acmFormatEnum(DriverHandle handle, const std::function<bool(DriverId, const WaveFormat&)>& callback);

// A whole conversion in one go: the source and the room for the result.
struct StreamHeader {
    std::span<const std::uint8_t> source;
    std::uint32_t sourceUsed = 0;
    std::span<std::uint8_t> destination;
    std::uint32_t destinationUsed = 0;
    bool prepared = false;
};

// A non-real-time stream from one format to another, on the given driver or,
// with driver 0, on the first driver that can do it (ACMERR_NOTPOSSIBLE when
// none can).
MmResult acmStreamOpen(StreamHandle& handle, DriverHandle driver, const WaveFormat& source,
                       const WaveFormat& destination);
MmResult acmStreamPrepareHeader(StreamHandle handle, StreamHeader& header);
// Converts the whole source; sourceUsed and destinationUsed tell how much.
// Output that would not fit the destination is cut at a whole block.
MmResult acmStreamConvert(StreamHandle handle, StreamHeader& header);
MmResult acmStreamUnprepareHeader(StreamHandle handle, StreamHeader& header);
MmResult acmStreamClose(StreamHandle handle);
// Bytes of destination that a source of `sourceBytes` needs at most.
MmResult acmStreamSize(StreamHandle handle, std::uint32_t sourceBytes, std::uint32_t& destinationBytes);

// Two more: a driver's short name, and switching a driver off and on. A
// disabled driver is not enumerated, cannot be opened (MMSYSERR_NOTENABLED)
// and is passed over when a stream looks for any driver; a handle opened
// before can still be closed, but formats and streams through it answer
// MMSYSERR_NOTENABLED. A driver handle of 0 in acmMetricsMaxSizeFormat and
// acmFormatEnum means every enabled driver.
MmResult acmDriverDetails(DriverId id, std::string& name);
MmResult acmDriverEnable(DriverId id, bool enabled);

}  // namespace murmex::acm
