#include "FormatTagName.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace murmex {

namespace {

struct TagName {
    std::uint16_t tag;
    const char* name;
};

constexpr std::array<TagName, 128> kTagNames = {{
    {0, "Unknown"}, {1, "PCM"}, {2, "ADPCM"}, {3, "IEEE Float"}, {4, "VSELP"}, {5, "IBM CVSD"}, {6, "a-LAW"},
    {7, "u-LAW"}, {8, "DTS"}, {16, "OKI ADPCM"}, {17, "DVI ADPCM"}, {18, "MediaApace ADPCM"}, {19, "Sierra ADPCM"},
    {20, "G.723 ADPCM"}, {21, "DIGISTD"}, {22, "DIGIFIX"}, {23, "Dialogic OKI ADPCM"}, {24, "MediaVision ADPCM"},
    {25, "HPCU"}, {32, "Yamaha ADPCM"}, {33, "Sonarc"}, {34, "DSP Group's True Speech"},
    {35, "Echo Speech's EchoSC1"}, {36, "Audiofile AF36"}, {37, "APTX"}, {38, "AudioFile AF10"},
    {39, "Prosody 1612"}, {40, "LRC"}, {48, "Dolby AC2"}, {49, "GSM610"}, {50, "MSNAudio"}, {51, "Antex ADPCME"},
    {52, "Control Res VQLPC"}, {53, "Digireal"}, {54, "DigiADPCM"}, {55, "Control Res CR10"},
    {56, "NMS VBXADPCM"}, {57, "IMA ADPCM"}, {58, "EchoSC3"}, {59, "Rockwell ADPCM"}, {60, "Rockwell Digit LK"},
    {61, "Xebec"}, {64, "Antex Electronics G.721"}, {65, "G.728 CELP"}, {66, "MSG723"}, {80, "MPEG"},
    {82, "RT24"}, {83, "PAC"}, {85, "MPEG Layer 3"}, {89, "Lucent G.723"}, {96, "Cirrus"}, {97, "ESPCM"},
    {98, "Voxware"}, {99, "Canopus Atrac"}, {100, "G.726 ADPCM"}, {101, "G.722 ADPCM"}, {102, "DSAT"},
    {103, "DSAT Display"}, {105, "Voxware Byte Aligned"}, {112, "L&h CELP 4.8k"}, {113, "L&h SBC 8k"},
    {114, "L&h SBC 12k"}, {115, "L&h SBC "}, {116, "Voxware MetaVoice"}, {117, "Voxware MetaSound"},
    {118, "Voxware RT29HW"}, {119, "Voxware VR12"}, {120, "Voxware VR18"}, {121, "Voxware TQ40"},
    {128, "Softsound"}, {129, "Voxware TQ60"}, {130, "MSRT24"}, {131, "G.729A"}, {132, "MVI MVI2"},
    {133, "DF G.726"}, {134, "DF GSM610"}, {136, "ISIAudio"}, {137, "Onlive"}, {145, "SBC24"},
    {146, "Dolby AC3 SPDIF"}, {147, "MediaSonic G.723"}, {148, "PROSODY 8K"}, {151, "ZyXEL ADPCM"},
    {152, "Philips LPCBB"}, {153, "Packed"}, {160, "Malden Phiny Talk"}, {256, "Rhetorex ADPCM"},
    {257, "BeCubed Software's lRAT"}, {273, "Vivo G.723"}, {274, "Vivo Siren"}, {291, "Digital G.723"},
    {293, "Sanyo LD ADPCM"}, {304, "Sipro Lab ACEPLNET"}, {305, "Sipro Lab ACELP4800"},
    {306, "Sipro Lab ACELP8V3"}, {307, "Sipro Lab G.729"}, {308, "Sipro Lab G.729A"}, {309, "Sipro Lab KELVIN"},
    {320, "G.726 ADPCM"}, {336, "Qualcomm Pure Voice"}, {337, "Qualcomm Half Rate"}, {341, "TUBGSM"},
    {352, "MS Audio1"}, {512, "Creative ADPCM"}, {514, "Creative FastSpeech8"}, {515, "Creative FastSpeechlO"},
    {528, "UHER ADPCM"}, {544, "Quarterdeck"}, {560, "I-link VC"}, {576, "RAW SPORT"},
    {592, "Interactive Products HSX"}, {593, ""}, {608, "CS2"}, {624, "Sony SCX"}, {768, "FM Towns Snd"},
    {1024, "BTV Digital"}, {1104, "QDesign MUSIC"}, {1664, "VME VMPCM"}, {1665, "TPC"}, {4096, "OLIGSM"},
    {4097, "OLIADPCM"}, {4098, "OLICELP"}, {4099, "OLISBC"}, {4100, "OLIOPR"}, {4352, "LH Codec"},
    {5120, "Norris"}, {5376, "Soundspace Music Compression"}, {8192, "DVM"},
}};

}  // namespace

std::string FormatTagShortName(std::uint16_t tag) {
    const auto it = std::find_if(kTagNames.begin(), kTagNames.end(), [&](const TagName& t) { return t.tag == tag; });
    return it == kTagNames.end() ? std::string() : it->name;
}

std::string FormatTagName(const WaveFormat& format) {
    const std::string name = FormatTagShortName(format.formatTag);
    const int rate = static_cast<int>(format.samplesPerSec);
    char text[128];
    if (format.channels == 1)
        std::snprintf(text, sizeof text, "%s %dHz Mono", name.c_str(), rate);
    else if (format.channels == 2)
        std::snprintf(text, sizeof text, "%s %dHz Streo", name.c_str(), rate);
    else
        std::snprintf(text, sizeof text, "%s %dHz %dChannels", name.c_str(), rate, int{format.channels});
    return text;
}

}  // namespace murmex
