#include "Listing.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "TransferMessages.h"
#include "VariantTable.h"

namespace murmex::cli {

namespace {

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", c);
                    out += esc;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

bool SameFolderName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

Listed ListMessages(const CRecorder& recorder, std::optional<std::uint32_t> only) {
    Listed out;
    for (std::uint32_t f = 0; f < recorder.GetFolderCount(); ++f) {
        if (only && *only != f) continue;
        for (std::uint32_t j = 0; j < recorder.GetMessageCount(f); ++j) {
            MessageInfo info;
            if (recorder.GetMessageInfo(f, j, info))
                out.messages.push_back(info);
            else
                out.unreadable.push_back(transfer_text::Format(transfer_text::kNoFileInformation,
                                                               recorder.GetFolderName(f).c_str(), static_cast<int>(j + 1)));
        }
    }
    return out;
}

std::optional<std::uint32_t> FindFolder(const CRecorder& recorder, const std::string& name) {
    for (std::uint32_t f = 0; f < recorder.GetFolderCount(); ++f)
        if (SameFolderName(recorder.GetFolderName(f), name)) return f;
    return std::nullopt;
}

std::string TypeText(std::uint8_t type) {
    switch (type) {
        case 0: return "SP";
        case 1: return "LP";
        case 2: case 3: return "*";
        case 6: case 7: return "TTS";
        case 128: return "PC File";
        default: return "";
    }
}

std::string SizeText(std::uint32_t length) {
    return std::to_string((std::uint64_t{length} + 1023) / 1024) + "KB";
}

std::string DateText(const DateStamp& s) {
    char text[32];
    std::snprintf(text, sizeof text, "%2.2d-%2.2d-%2.2d %2.2d:%2.2d.%2.2d", s[0], s[1], s[2], s[3], s[4], s[5]);
    return text;
}

std::string StatusLine(const CRecorder& recorder) {
    char text[64];
    std::snprintf(text, sizeof text, "%d File(s), %dk Free", static_cast<int>(recorder.GetTotalMessages()),
                  static_cast<int>(recorder.GetFreeBytes() / 1024));
    return text;
}

std::string TableText(const CRecorder& recorder, const std::vector<MessageInfo>& messages) {
    std::size_t nameWidth = 4;
    for (const auto& m : messages) nameWidth = std::max(nameWidth, m.displayName.size());
    std::ostringstream out;
    char line[512];
    std::snprintf(line, sizeof line, "%-*s %9s  %-6s %-17s  %s\n", static_cast<int>(nameWidth), "NAME", "SIZE",
                  "FOLDER", "DATE", "TYPE");
    out << line;
    for (const auto& m : messages) {
        out << m.displayName << std::string(nameWidth - m.displayName.size(), ' ');
        std::snprintf(line, sizeof line, " %9s  %-6s %-17s  %s\n", SizeText(m.length).c_str(),
                      recorder.GetFolderName(m.folder).c_str(), DateText(m.stamp).c_str(), TypeText(m.type).c_str());
        out << line;
    }
    out << StatusLine(recorder) << "\n";
    return out.str();
}

std::string ListingJson(const CRecorder& recorder, const std::vector<MessageInfo>& messages) {
    const CMessageStore& store = recorder.Store();
    std::ostringstream out;
    out << "{\"variant\":" << JsonString(VariantCodeText(store.GetVariantCode()))
        << ",\"block_size\":" << store.GetBlockSize() << ",\"blocks\":" << store.GetBlockCount()
        << ",\"free_bytes\":" << recorder.GetFreeBytes() << ",\"folders\":[";
    for (std::uint32_t f = 0; f < recorder.GetFolderCount(); ++f)
        out << (f ? "," : "") << JsonString(recorder.GetFolderName(f));
    out << "],\"messages\":[";
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const MessageInfo& m = messages[i];
        out << (i ? "," : "") << "{\"folder\":" << JsonString(recorder.GetFolderName(m.folder))
            << ",\"slot\":" << m.slot << ",\"file_name\":" << JsonString(m.fileName)
            << ",\"display_name\":" << JsonString(m.displayName) << ",\"type\":" << int{m.type}
            << ",\"length\":" << m.length << ",\"seconds\":" << m.seconds << ",\"date\":[";
        for (int k = 0; k < 6; ++k) out << (k ? "," : "") << int{m.stamp[k]};
        out << "]}";
    }
    out << "]}\n";
    return out.str();
}

std::string InfoText(const CRecorder& recorder, bool json) {
    const CMessageStore& store = recorder.Store();
    const VariantDescriptor& v = *store.GetVariant();
    const CardLayout& layout = *store.CurrentLayout();
    const std::string format = v.IsDvr() ? "DVR generation " + std::to_string(v.Generation()) : "marker";
    const std::string writeBack = v.writeBack == WriteBackScheme::Alternating ? "alternating" : "in place";
    std::ostringstream out;
    if (json) {
        out << "{\"variant\":" << JsonString(VariantCodeText(v.code)) << ",\"format\":" << JsonString(format)
            << ",\"card_mb\":" << v.cardMegabytes << ",\"block_size\":" << v.blockSize << ",\"blocks\":" << v.blockCount
            << ",\"free_blocks\":" << store.GetFreeBlockCount() << ",\"free_bytes\":" << recorder.GetFreeBytes()
            << ",\"messages\":" << recorder.GetTotalMessages() << ",\"folders\":" << recorder.GetFolderCount()
            << ",\"native_extension\":" << JsonString(store.GetDefaultExtension())
            << ",\"write_back\":" << JsonString(writeBack) << ",\"system_block\":" << layout.SystemBlockNumber()
            << ",\"link_block\":" << layout.LinkBlockNumber() << "}\n";
        return out.str();
    }
    out << "Variant:        " << VariantCodeText(v.code) << " (" << format << ", " << v.cardMegabytes << " MB card)\n"
        << "Blocks:         " << v.blockCount << " of " << v.blockSize << " bytes\n"
        << "Free:           " << store.GetFreeBlockCount() << " blocks, " << recorder.GetFreeBytes() / 1024 << "k\n"
        << "Folders:        ";
    for (std::uint32_t f = 0; f < recorder.GetFolderCount(); ++f)
        out << (f ? " " : "") << recorder.GetFolderName(f) << "(" << recorder.GetMessageCount(f) << ")";
    out << "\nMessages:       " << recorder.GetTotalMessages() << "\n"
        << "Native files:   ." << store.GetDefaultExtension() << "\n"
        << "Write-back:     " << writeBack << " (system block " << layout.SystemBlockNumber() << ", link block "
        << layout.LinkBlockNumber() << ")\n";
    return out.str();
}

Resolved ResolveMessage(const CRecorder& recorder, const std::vector<MessageInfo>& listed, const std::string& operand) {
    for (const auto& m : listed)
        if (m.fileName == operand) return {ItemData(m.folder, m.slot), {}};
    // The NAME column shows a data message's own name; take it when it names one message.
    const auto sameDisplay = [&](const MessageInfo& m) { return m.displayName == operand; };
    const auto named = std::count_if(listed.begin(), listed.end(), sameDisplay);
    if (named == 1) {
        const auto m = std::find_if(listed.begin(), listed.end(), sameDisplay);
        return {ItemData(m->folder, m->slot), {}};
    }
    if (named > 1) return {std::nullopt, operand + " names several messages; use its file name or FOLDER:SLOT"};
    const auto colon = operand.rfind(':');
    if (colon != std::string::npos) {
        const auto folder = FindFolder(recorder, operand.substr(0, colon));
        const std::string number = operand.substr(colon + 1);
        if (folder && !number.empty() && number.size() < 6 &&
            std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); })) {
            const std::uint32_t slot = static_cast<std::uint32_t>(std::stoul(number));
            for (const auto& m : listed)
                if (m.folder == *folder && m.slot + 1 == slot) return {ItemData(m.folder, m.slot), {}};
        }
    }
    return {std::nullopt, "no such message: " + operand};
}

}  // namespace murmex::cli
