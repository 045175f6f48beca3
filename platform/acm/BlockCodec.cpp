#include "BlockCodec.h"

#include <algorithm>

#include "ByteOrder.h"

namespace murmex::acm {

bool IsPcm16(const WaveFormat& f, std::uint16_t channels, std::uint32_t rate) {
    return f.formatTag == WAVE_FORMAT_PCM && f.bitsPerSample == 16 && f.channels == channels &&
           f.samplesPerSec == rate && f.blockAlign == 2 * channels;
}

ConvertResult BlockDecoder::Convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) {
    if (!Start()) return {0, 0, MMSYSERR_NOMEM};
    const std::size_t frameBytes = 2 * shape_.channels;
    const std::size_t fullOutput = shape_.samplesPerBlock * frameBytes;
    std::vector<std::int16_t> pcm(shape_.samplesPerBlock * shape_.channels);
    std::size_t in = 0, out = 0;
    while (in < source.size()) {
        const std::size_t length = std::min(shape_.blockBytes, source.size() - in);
        // A whole block needs room for all of its samples; the short last
        // block only for what it really gives.
        if (length == shape_.blockBytes && destination.size() - out < fullOutput) break;
        const std::size_t frames = std::min(DecodeBlock(source.subspan(in, length), pcm), shape_.samplesPerBlock);
        const std::size_t bytes = frames * frameBytes;
        if (destination.size() - out < bytes) break;
        if (frames == 0 && length < shape_.blockBytes) break;  // a tail that holds no sample
        for (std::size_t i = 0; i < frames * shape_.channels; ++i)
            WriteLE16(destination, out + 2 * i, static_cast<std::uint16_t>(pcm[i]));
        in += length;
        out += bytes;
    }
    return {static_cast<std::uint32_t>(in), static_cast<std::uint32_t>(out), MMSYSERR_NOERROR};
}

std::uint64_t BlockDecoder::DestinationSize(std::uint64_t sourceBytes) const {
    const std::uint64_t blocks = (sourceBytes + shape_.blockBytes - 1) / shape_.blockBytes;
    return blocks * shape_.samplesPerBlock * shape_.channels * 2;
}

ConvertResult BlockEncoder::Convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) {
    if (!Start()) return {0, 0, MMSYSERR_NOMEM};
    const std::size_t frameBytes = 2 * shape_.channels;
    const std::size_t frames = source.size() / frameBytes;
    std::vector<std::int16_t> pcm(shape_.samplesPerBlock * shape_.channels);
    std::size_t frame = 0, out = 0;
    while (frame < frames && destination.size() - out >= shape_.blockBytes) {
        const std::size_t take = std::min(shape_.samplesPerBlock, frames - frame);
        std::fill(pcm.begin(), pcm.end(), 0);
        for (std::size_t i = 0; i < take * shape_.channels; ++i)
            pcm[i] = static_cast<std::int16_t>(ReadLE16(source, frame * frameBytes + 2 * i));
        EncodeBlock(pcm, destination.subspan(out, shape_.blockBytes));
        frame += take;
        out += shape_.blockBytes;
    }
    return {static_cast<std::uint32_t>(frame * frameBytes), static_cast<std::uint32_t>(out), MMSYSERR_NOERROR};
}

std::uint64_t BlockEncoder::DestinationSize(std::uint64_t sourceBytes) const {
    const std::uint64_t frames = sourceBytes / (2 * shape_.channels);
    return (frames + shape_.samplesPerBlock - 1) / shape_.samplesPerBlock * shape_.blockBytes;
}

std::vector<WaveFormat> AdpcmFormatTable(WaveFormat (*format)(std::uint32_t rate, std::uint16_t channels)) {
    std::vector<WaveFormat> formats;
    constexpr std::uint32_t kRates[] = {8000, 11025, 22050, 44100};
    for (std::uint32_t rate : kRates)
        for (std::uint16_t ch : {1, 2}) formats.push_back(format(rate, ch));
    for (std::uint32_t rate : kRates)
        for (std::uint16_t ch : {1, 2}) formats.push_back(WaveFormat::Pcm(rate, 16, ch));
    return formats;
}

std::size_t SetAdpcmBlockGeometry(WaveFormat& f, std::size_t (*samplesFor)(std::size_t, std::size_t)) {
    f.bitsPerSample = 4;
    f.blockAlign = static_cast<std::uint16_t>(256 * f.channels * std::max<std::uint32_t>(1, f.samplesPerSec / 11025));
    const std::size_t samples = samplesFor(f.blockAlign, f.channels);
    // To the nearest byte, as the files in the wild have it.
    f.avgBytesPerSec =
        static_cast<std::uint32_t>((std::uint64_t{f.samplesPerSec} * f.blockAlign + samples / 2) / samples);
    return samples;
}

}  // namespace murmex::acm
