#include "JobTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "ByteOrder.h"
#include "CardFormatter.h"

namespace murmex::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "murmex-jobs-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempDir::SubFolder(const std::string& name) const {
    fs::create_directories(File(name));
    return File(name) + "/";
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::int64_t LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&t));
}

void SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute, int second) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = static_cast<time_t>(LocalSeconds(year, month, day, hour, minute, second));
    times[1].tv_nsec = 0;
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("utimensat failed");
}

std::int64_t LastWriteSeconds(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_mtime);
}

Bytes Pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i * 7 + seed * 31 + i / 251) % 255);
    return b;
}

Bytes MxdFile(const std::string& magic, const Bytes& frames) {
    Bytes file(magic.begin(), magic.end());
    file.insert(file.end(), frames.begin(), frames.end());
    return file;
}

Bytes SpeechWavFile(const Bytes& data) {
    Bytes h(78, 0);
    auto put = [&](std::size_t at, const char* tag) { std::memcpy(h.data() + at, tag, 4); };
    const auto size = static_cast<std::uint32_t>(data.size());
    put(0, "RIFF");
    WriteLE32(h, 4, size + 70);
    put(8, "WAVE");
    put(12, "fmt ");
    WriteLE32(h, 16, 50);
    WriteLE16(h, 20, 0x0022);
    WriteLE16(h, 22, 1);
    WriteLE32(h, 24, 8000);
    WriteLE32(h, 28, 1067);
    WriteLE16(h, 32, 32);
    WriteLE16(h, 34, 1);
    WriteLE16(h, 36, 32);
    WriteLE16(h, 38, 1);
    WriteLE16(h, 40, 240);
    put(70, "data");
    WriteLE32(h, 74, size);
    h.insert(h.end(), data.begin(), data.end());
    return h;
}

Bytes PcmWavFile(std::size_t samples) {
    Bytes h(44, 0);
    auto put = [&](std::size_t at, const char* tag) { std::memcpy(h.data() + at, tag, 4); };
    const auto dataBytes = static_cast<std::uint32_t>(2 * samples);
    put(0, "RIFF");
    WriteLE32(h, 4, dataBytes + 36);
    put(8, "WAVE");
    put(12, "fmt ");
    WriteLE32(h, 16, 16);
    WriteLE16(h, 20, 1);
    WriteLE16(h, 22, 1);
    WriteLE32(h, 24, 8000);
    WriteLE32(h, 28, 16000);
    WriteLE16(h, 32, 2);
    WriteLE16(h, 34, 16);
    put(36, "data");
    WriteLE32(h, 40, dataBytes);
    const Bytes body = Pattern(dataBytes, 99);
    h.insert(h.end(), body.begin(), body.end());
    return h;
}

Bytes NativeFile(const VariantDescriptor& v, const Bytes& data) {
    return v.speechWav ? SpeechWavFile(data) : MxdFile("MXDS", data);
}

Bytes DataMessage(const std::string& name, const Bytes& fileBytes) {
    Bytes m(4 + name.size() + 1, 0);
    WriteLE32(m, 0, static_cast<std::uint32_t>(m.size()));
    std::memcpy(m.data() + 4, name.data(), name.size());
    m.insert(m.end(), fileBytes.begin(), fileBytes.end());
    return m;
}

bool ScriptedFrontEnd::AskYesNo(const std::string& text) {
    questions.push_back(text);
    if (answers.empty()) return defaultAnswer;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedFrontEnd::SetCaption(const std::string& caption) {
    captions.push_back(caption);
    if (onCaption) onCaption(caption);
}

void ScriptedFrontEnd::ShowProgress(std::uint32_t elapsedMs, std::uint32_t total, std::uint32_t done) {
    progress.push_back({elapsedMs, total, done});
    if (onProgress) onProgress(progress.back());
}

namespace {

// Formatted images, one per variant, kept for the whole test process.
class FormattedImages {
public:
    const std::string& For(const VariantDescriptor& v) {
        auto it = paths_.find(v.code);
        if (it != paths_.end()) return it->second;
        const std::string path = dir_.File(VariantCodeText(v.code) + ".tmf");
        {
            const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0) throw std::runtime_error("cannot create " + path);
            const int sized = ::ftruncate(fd, static_cast<off_t>(v.ImageBytes()));
            ::close(fd);
            if (sized != 0) throw std::runtime_error("cannot size " + path);
        }
        CCardDevice device;
        device.SetCardImageMode(true);
        if (!device.ConnectImage(path)) throw std::runtime_error("cannot connect " + path);
        const std::string error = FormatCard(device, v, {});
        if (!error.empty()) throw std::runtime_error("formatting failed: " + error);
        return paths_.emplace(v.code, path).first->second;
    }

private:
    TempDir dir_;
    std::map<std::uint32_t, std::string> paths_;
};

}  // namespace

void MakeFormattedImage(const VariantDescriptor& v, const std::string& path) {
    static FormattedImages images;
    fs::copy_file(images.For(v), path, fs::copy_options::overwrite_existing);
}

MountedCard::MountedCard(std::string imagePath, bool twoModes)
    : path_(std::move(imagePath)), question_(twoModes), recorder_(std::make_unique<CRecorder>()) {}

bool MountedCard::Mount(BlockDevice* over) {
    device_.SetCardImageMode(true);
    if (!device_.ConnectImage(path_)) return false;
    storeDevice_ = over ? over : &device_;
    return recorder_->Store().Mount(*storeDevice_, question_) != 0;
}

std::optional<Bytes> ReadMessageBytes(CRecorder& recorder, BlockDevice& device, std::uint32_t folder,
                                      std::uint32_t slot, std::uint32_t length) {
    MessageCursor cursor;
    if (!recorder.OpenMessage(folder, slot, device, cursor)) return std::nullopt;
    Bytes data(length);
    std::uint32_t done = 0;
    while (done < length) {
        const std::uint32_t want = done == 0
                                       ? std::min(recorder.Store().RemainingInBlock(cursor.firstAddress, 0), length)
                                       : std::min<std::uint32_t>(32768, length - done);
        if (want == 0) return std::nullopt;
        if (!recorder.ReadMessage(std::span(data).subspan(done, want), want, 1, cursor)) return std::nullopt;
        done += want;
    }
    return data;
}

std::optional<Bytes> ReadMessageData(CRecorder& recorder, BlockDevice& device, std::uint32_t folder,
                                     std::uint32_t slot) {
    MessageInfo info;
    if (!recorder.GetMessageInfo(folder, slot, info)) return std::nullopt;
    return ReadMessageBytes(recorder, device, folder, slot, info.length);
}

std::optional<std::uint32_t> AddMessage(CRecorder& recorder, BlockDevice& device, std::uint32_t folder,
                                        const Bytes& data, std::uint8_t type) {
    MessageInfo info;
    info.type = type;
    info.length = static_cast<std::uint32_t>(data.size());
    info.stamp = {24, 1, 2, 3, 4, 5};
    MessageCursor cursor;
    if (!recorder.CreateMessage(folder, info) || !recorder.OpenMessage(folder, info.slot, device, cursor) ||
        !recorder.WriteMessage(data, info.length, 1, cursor))
        return std::nullopt;
    return info.slot;
}

std::vector<std::uint32_t> ChainBlocks(const CRecorder& recorder, std::uint32_t firstAddress) {
    const CardLayout* layout = recorder.Store().CurrentLayout();
    std::vector<std::uint32_t> blocks;
    if (!layout) return blocks;
    std::uint32_t b = firstAddress / layout->GetBlockSize();
    blocks.push_back(b);
    for (std::uint32_t c = layout->Link(b); b < c && c < layout->GetBlockCount(); c = layout->Link(b)) {
        b = c;
        blocks.push_back(b);
    }
    return blocks;
}

std::uint32_t BlocksFor(const VariantDescriptor& v, std::uint32_t length) {
    return v.IsDvr() ? (length - 1) / v.blockSize + 1 : (length + 127) / v.blockSize + 1;
}

}  // namespace murmex::test
