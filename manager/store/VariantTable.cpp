#include "VariantTable.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace murmex {
namespace {

constexpr VariantDescriptor MarkerRow(std::uint32_t code, std::uint8_t marker, std::uint32_t n, bool fiveSectors, bool speech) {
    return {code, CardFormat::Marker, DirectoryEncoding::Marker, 16384, n, n == 1020 ? 1024u : 2048u,
            fiveSectors ? 2560u : 2048u, fiveSectors ? 0xC00u : 0xA00u, n == 1020 ? 8u : 16u, marker, WriteBackScheme::InPlace,
            4, fiveSectors, speech, n == 1020 ? 16 : 32};
}

constexpr VariantDescriptor DvrRow(std::uint32_t code, std::uint8_t model) {
    const int generation = model >> 4;
    const int size = model & 0x0F;
    const std::uint32_t s = size <= 1 ? 8192 : 16384;
    const std::uint32_t n = size == 0 ? 512 : size == 3 ? 2048 : 1024;
    const DirectoryEncoding enc = generation == 0 ? DirectoryEncoding::Generation0 : generation == 1 ? DirectoryEncoding::Generation1 : DirectoryEncoding::Generation2;
    const std::uint32_t folders = (generation == 0 && size <= 1) ? 3 : 6;
    const std::uint32_t dir = generation == 0 ? 2048 * folders : 6144;
    const int mb = size == 0 ? 4 : size == 1 ? 8 : size == 2 ? 16 : 32;
    return {code, CardFormat::Dvr, enc, s, n, n, dir, 0, 0, model, generation == 0 ? WriteBackScheme::Alternating : WriteBackScheme::InPlace,
            folders, false, false, mb};
}

constexpr std::array<VariantDescriptor, 17> kVariants = {
    DvrRow(0xFF000001, 2),  DvrRow(0xFF000002, 3),
    MarkerRow(0xFF000003, 1, 1020, false, false), MarkerRow(0xFF000004, 3, 2044, false, false),
    MarkerRow(0xFF000005, 2, 1020, false, true),  MarkerRow(0xFF000006, 4, 1020, true, true),
    MarkerRow(0xFF000007, 5, 2044, true, true),
    DvrRow(0xFF000008, 0),  DvrRow(0xFF000009, 1),
    DvrRow(0xFF000011, 18), DvrRow(0xFF000012, 19), DvrRow(0xFF000013, 16), DvrRow(0xFF000014, 17),
    DvrRow(0xFF000021, 34), DvrRow(0xFF000022, 35), DvrRow(0xFF000023, 32), DvrRow(0xFF000024, 33),
};

}  // namespace

int VariantDescriptor::Generation() const {
    switch (encoding) {
        case DirectoryEncoding::Generation0: return 0;
        case DirectoryEncoding::Generation1: return 1;
        case DirectoryEncoding::Generation2: return 2;
        default: return -1;
    }
}

std::span<const VariantDescriptor> AllVariants() { return kVariants; }

const VariantDescriptor* FindVariant(std::uint32_t code) {
    for (const auto& v : kVariants)
        if (v.code == code) return &v;
    return nullptr;
}

const VariantDescriptor* FindDvrVariantByModelCode(std::uint8_t modelCode) {
    for (const auto& v : kVariants)
        if (v.IsDvr() && v.detectKey == modelCode) return &v;
    return nullptr;
}

const VariantDescriptor* FindMarkerVariantByMarker(std::uint8_t marker) {
    for (const auto& v : kVariants)
        if (!v.IsDvr() && v.detectKey == marker) return &v;
    return nullptr;
}

std::string VariantCodeText(std::uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::optional<std::uint32_t> ParseVariantCode(std::string_view text) {
    std::string s(text);
    char* end = nullptr;
    const unsigned long value = std::strtoul(s.c_str(), &end, 0);
    if (s.empty() || *end != '\0' || !FindVariant(static_cast<std::uint32_t>(value))) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace murmex
