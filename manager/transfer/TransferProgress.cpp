#include "TransferProgress.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace murmex {

namespace {

constexpr std::string_view Entry(int id) {
    switch (id) {
        case kStrEstimateLabel: return "Est. Time :";
        case kStrElapsedLabel: return "Elapsed  :";
        case kStrMinutes: return "%3.1ldMin";
        case kStrSeconds: return "%3.1ldSec";
        case kStrRateLabel: return "Transfer Rate :";
        case kStrSizeLabel: return "File Size :";
        case kStrCancel: return "Cancel";
        default: return {};
    }
}

// Minutes and seconds, the two table entries back to back. A literal, so the
// compiler checks the arguments against it.
#define MURMEX_TIME_FORMAT "%3.1ldMin%3.1ldSec"
static_assert(std::string_view(MURMEX_TIME_FORMAT).substr(0, Entry(kStrMinutes).size()) == Entry(kStrMinutes) &&
              std::string_view(MURMEX_TIME_FORMAT).substr(Entry(kStrMinutes).size()) == Entry(kStrSeconds));

std::string TimeText(std::uint32_t minutes, std::uint32_t seconds) {
    char text[64];
    std::snprintf(text, sizeof text, MURMEX_TIME_FORMAT, static_cast<long>(minutes), static_cast<long>(seconds));
    return text;
}
#undef MURMEX_TIME_FORMAT

// Bytes as kilobytes. Past 1000K a comma goes after the thousands, which
// count 1024000 bytes each.
std::string SizeText(std::uint32_t bytes) {
    char text[64];
    if (bytes <= 1024000u) {
        std::snprintf(text, sizeof text, "%ldK", static_cast<long>(bytes / 1024u));
    } else {
        std::snprintf(text, sizeof text, "%ld,%.3ldK", static_cast<long>(bytes / 1024000u),
                      static_cast<long>((bytes / 1024u) % 1000u));
    }
    return text;
}

std::string RateText(std::uint32_t elapsedMs, std::uint32_t doneBytes) {
    if (elapsedMs == 0) return "0K";
    const double kilobytesPerSecond = doneBytes * 1000.0 / elapsedMs * 0.0009765625;
    // Never more than doneBytes, so it fits; a 32-bit long would not hold it.
    const auto whole = static_cast<std::uint32_t>(kilobytesPerSecond);
    char text[32];
    std::snprintf(text, sizeof text, "%luK", static_cast<unsigned long>(whole));
    return text;
}

}  // namespace

std::string_view TransferString(int id) { return Entry(id); }

void TransferProgressModel::Reset(std::string caption) {
    caption_ = std::move(caption);
    estimateLabel_ = TransferString(kStrEstimateLabel);
    elapsedLabel_ = TransferString(kStrElapsedLabel);
    rateLabel_ = TransferString(kStrRateLabel);
    sizeLabel_ = TransferString(kStrSizeLabel);
    size_ = "0K";
    rate_ = "0K";
    elapsed_ = TimeText(0, 0);
    estimate_ = TimeText(0, 0);
    percentage_ = "0%";
    position_ = 0;
    cancelText_ = TransferString(kStrCancel);
}

void TransferProgressModel::Update(std::uint32_t elapsedMs, std::uint32_t totalBytes, std::uint32_t doneBytes) {
    const std::uint32_t d = elapsedMs;
    const std::uint32_t c = totalBytes;
    const std::uint32_t e = doneBytes;

    size_ = SizeText(c);
    rate_ = RateText(d, e);
    elapsed_ = TimeText(d / 60000u, (d / 1000u) % 60u);

    // Done so far in tenths of a percent. The products wrap at 32 bits for
    // jobs past about 42 MB, which is how the figures have always come out;
    // unsigned, so the wrap itself is well defined.
    std::uint32_t permille;
    std::uint32_t estimateSeconds;
    if (e < c) {  // hence c > 0
        const std::uint32_t hundredfold = std::uint32_t{100} * e;
        permille = (hundredfold % c) * 10u / c + (hundredfold / c) * 10u;
        estimateSeconds = permille != 0 ? d / permille : d / 10u;
    } else {
        permille = 1000u;
        estimateSeconds = d / 1000u;
    }
    estimate_ = TimeText(estimateSeconds / 60u, estimateSeconds % 60u);

    const std::uint32_t percent = c == 0 ? 0u : std::min<std::uint32_t>(permille / 10u, 100u);
    char text[32];
    std::snprintf(text, sizeof text, "%ld%%", static_cast<long>(percent));
    percentage_ = text;
    position_ = static_cast<int>(percent);
}

std::string FormatProgressLine(const TransferProgressModel& model, int barWidth) {
    std::string line = model.Caption();
    if (barWidth > 0) {
        // Wider than any terminal; keeps a bogus width from allocating much.
        const int width = std::min(barWidth, 1000);
        const int filled = model.Position() * width / 100;
        line += "  [";
        line.append(static_cast<std::size_t>(filled), '#');
        line.append(static_cast<std::size_t>(width - filled), ' ');
        line += ']';
    }
    // Fixed width so the figures after it do not jump about.
    const std::string& percentage = model.Percentage();
    line += ' ';
    if (percentage.size() < 4) line.append(4 - percentage.size(), ' ');
    line += percentage;

    auto field = [&line](const std::string& label, const std::string& value) {
        line += "  ";
        line += label;
        line += ' ';
        line += value;
    };
    field(model.SizeLabel(), model.Size());
    field(model.RateLabel(), model.Rate());
    field(model.ElapsedLabel(), model.Elapsed());
    field(model.EstimateLabel(), model.Estimate());
    return line;
}

}  // namespace murmex
