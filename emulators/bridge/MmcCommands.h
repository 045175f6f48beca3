// The MMC command indexes the bridge's cards understand.
#pragma once

#include <cstdint>

namespace murmex::bridge::mmc_command {

inline constexpr std::uint8_t kGoIdle = 0;
inline constexpr std::uint8_t kSendOpCond = 1;
inline constexpr std::uint8_t kAllSendCid = 2;
inline constexpr std::uint8_t kSetRelativeAddr = 3;
inline constexpr std::uint8_t kSelect = 7;
inline constexpr std::uint8_t kSendCsd = 9;
inline constexpr std::uint8_t kSendCid = 10;
inline constexpr std::uint8_t kStop = 12;
inline constexpr std::uint8_t kSendStatus = 13;
inline constexpr std::uint8_t kReadSingle = 17;
inline constexpr std::uint8_t kReadMultiple = 18;
inline constexpr std::uint8_t kWriteSingle = 24;
inline constexpr std::uint8_t kWriteMultiple = 25;
inline constexpr std::uint8_t kEraseStart = 32;
inline constexpr std::uint8_t kEraseEnd = 33;
inline constexpr std::uint8_t kProbe = 34;  // answered by a selected card only
inline constexpr std::uint8_t kErase = 38;

}  // namespace murmex::bridge::mmc_command
