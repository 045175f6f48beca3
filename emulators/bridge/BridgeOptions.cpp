// Parsing of the option string that plugs an emulated bridge in.
#include <charconv>
#include <stdexcept>

#include "BridgeEmulator.h"

namespace murmex::bridge {

namespace {

std::uint64_t ParseNumber(std::string_view option, std::string_view digits) {
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size())
        throw std::invalid_argument("bridge emulator option '" + std::string(option) + "' needs a number");
    return value;
}

template <typename Number>
Number ParseBounded(std::string_view option, std::string_view digits) {
    const std::uint64_t value = ParseNumber(option, digits);
    if (value > static_cast<std::uint64_t>(static_cast<Number>(~Number{})))
        throw std::invalid_argument("bridge emulator option '" + std::string(option) + "' is out of range");
    return static_cast<Number>(value);
}

void ApplyOption(BridgeOptions& options, std::string_view option) {
    const std::size_t equals = option.find('=');
    const std::string_view name = option.substr(0, equals);
    const std::string_view argument = equals == std::string_view::npos ? std::string_view{} : option.substr(equals + 1);
    const bool hasArgument = equals != std::string_view::npos;

    if (!hasArgument) {
        if (name == "mmc") return void(options.mmc = true);
        if (name == "busy") return void(options.neverReady = true);
        if (name == "crc") return void(options.corruptCrc = true);
        if (name == "datacrc") return void(options.corruptDataCrc = true);
        if (name == "short") return void(options.shortReads = true);
        if (name == "nocard") return void(options.noCard = true);
    } else {
        if (name == "mmc1" && !argument.empty()) return void(options.secondMmcPath = std::string(argument));
        if (name == "bad") return options.badBlocks.push_back(ParseBounded<std::uint32_t>(option, argument));
        if (name == "refuse-clock") return options.refusedClocks.push_back(ParseBounded<unsigned>(option, argument));
        if (name == "unplug") return void(options.unplugAfter = ParseNumber(option, argument));
        if (name == "ready-after") return void(options.readyAfter = ParseBounded<unsigned>(option, argument));
        if (name == "reject-write") return void(options.rejectWrite = ParseBounded<std::uint32_t>(option, argument));
    }
    throw std::invalid_argument("unknown bridge emulator option '" + std::string(option) + "'");
}

}  // namespace

BridgeOptions ParseBridgeOptions(std::string_view text) {
    BridgeOptions options;
    const std::size_t comma = text.find(',');
    options.imagePath = std::string(text.substr(0, comma));
    std::string_view rest = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    while (!rest.empty()) {
        const std::size_t next = rest.find(',');
        const std::string_view option = rest.substr(0, next);
        if (!option.empty()) ApplyOption(options, option);  // tolerate ",," and a trailing comma
        rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next + 1);
    }
    return options;
}

}  // namespace murmex::bridge
