// What the recorder list shows, for the terminal: messages in folder then
// slot order, the aligned table with its status line, JSON, and finding a
// message by its listed name or FOLDER:SLOT.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CRecorder.h"

namespace murmex::cli {

struct Listed {
    std::vector<MessageInfo> messages;
    std::vector<std::string> unreadable;  // one error text per message that could not be described
};

// All folders, or only `folder`.
Listed ListMessages(const CRecorder& recorder, std::optional<std::uint32_t> folder);
std::optional<std::uint32_t> FindFolder(const CRecorder& recorder, const std::string& name);

std::string TypeText(std::uint8_t type);
std::string SizeText(std::uint32_t length);
std::string DateText(const DateStamp& stamp);
std::string StatusLine(const CRecorder& recorder);

std::string TableText(const CRecorder& recorder, const std::vector<MessageInfo>& messages);
std::string ListingJson(const CRecorder& recorder, const std::vector<MessageInfo>& messages);
std::string InfoText(const CRecorder& recorder, bool json);

// Item data of the message a MSG operand names, or an error text.
struct Resolved {
    std::optional<std::uint32_t> item;
    std::string error;
};
Resolved ResolveMessage(const CRecorder& recorder, const std::vector<MessageInfo>& listed, const std::string& operand);

}  // namespace murmex::cli
