// The card device in card-image mode: geometry from the image's size, the
// flash's programming rules, bounds and error texts.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CCardDevice.h"

namespace murmex {
namespace {

constexpr std::uint64_t kMB = 1u << 20;

// A temporary image file of a given size, all 0xFF unless said otherwise.
class ImageFile {
public:
    explicit ImageFile(std::uint64_t size, std::uint8_t fill = 0xFF) {
        path_ = (std::filesystem::temp_directory_path() / "murmex-device-XXXXXX.tmf").string();
        const int fd = ::mkstemps(path_.data(), 4);
        if (fd < 0) {
            ADD_FAILURE() << "cannot create " << path_;
            path_.clear();
            return;
        }
        const std::vector<std::uint8_t> chunk(kMB, fill);
        for (std::uint64_t done = 0; done < size;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - done));
            if (::write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) ADD_FAILURE() << "cannot fill " << path_;
            done += n;
        }
        ::close(fd);
    }
    ~ImageFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    const std::string& Path() const { return path_; }
    std::vector<std::uint8_t> Bytes(std::uint64_t at, std::size_t n) const {
        std::vector<std::uint8_t> out(n);
        const int fd = ::open(path_.c_str(), O_RDONLY);
        if (fd < 0 || ::pread(fd, out.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n)) ADD_FAILURE();
        if (fd >= 0) ::close(fd);
        return out;
    }
    std::uint64_t Size() const { return std::filesystem::file_size(path_); }

private:
    std::string path_;
};

bool All(const std::vector<std::uint8_t>& b, std::uint8_t value) {
    return std::all_of(b.begin(), b.end(), [&](std::uint8_t x) { return x == value; });
}

TEST(CardImage, GeometryFollowsTheImageSize) {
    struct Case {
        std::uint64_t size;
        int connects;
        std::uint32_t pagesPerBlock;
        std::uint32_t blocks;
    };
    const Case cases[] = {
        {4 * kMB - 1, 0, 32, 1024},  {4 * kMB, 1, 16, 512},       {8 * kMB - 1, 1, 16, 512},
        {8 * kMB, 1, 16, 1024},      {16 * kMB - 8192, 1, 16, 1024}, {16 * kMB, 1, 32, 1024},
        {32 * kMB, 1, 32, 2048},     {40 * kMB, 1, 32, 2048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        ImageFile image(c.size);
        CCardDevice device;
        device.SetCardImageMode(true);
        EXPECT_EQ(device.ConnectImage(image.Path()), c.connects);
        EXPECT_EQ(device.ImagePagesPerBlock(), c.pagesPerBlock);
        EXPECT_EQ(device.ImageBlockCount(), c.blocks);
        // Blocks start at 16384 bytes, as after opening a real card.
        EXPECT_EQ(device.GetBlockBytes(), 16384u);
        if (!c.connects) {
            EXPECT_NE(device.GetErrorText().find("smaller than 4 MB"), std::string::npos) << device.GetErrorText();
        }
    }
}

TEST(CardImage, ProgrammingOnlyClearsBitsAndEraseSetsThemAgain) {
    ImageFile image(4 * kMB);
    CCardDevice device;
    device.SetCardImageMode(true);
    ASSERT_TRUE(device.ConnectImage(image.Path()));
    const std::uint32_t at = 3 * 16384;
    ASSERT_TRUE(device.WriteBlock(at, std::vector<std::uint8_t>(16384, 0xF0)));
    ASSERT_TRUE(device.WriteBlock(at, std::vector<std::uint8_t>(16384, 0x0F)));
    std::vector<std::uint8_t> block(16384, 0x55);
    ASSERT_TRUE(device.ReadBlock(at, block));
    EXPECT_TRUE(All(block, 0x00));
    // A second write of all ones changes nothing.
    ASSERT_TRUE(device.WriteBlock(at, std::vector<std::uint8_t>(16384, 0xFF)));
    EXPECT_TRUE(All(image.Bytes(at, 16384), 0x00));
    ASSERT_TRUE(device.EraseBlock(at));
    ASSERT_TRUE(device.ReadBlock(at, block));
    EXPECT_TRUE(All(block, 0xFF));
    // Neighbours are untouched.
    EXPECT_TRUE(All(image.Bytes(at - 16384, 16384), 0xFF));
    EXPECT_TRUE(All(image.Bytes(at + 16384, 16384), 0xFF));
}

TEST(CardImage, CardSizeSelectsTheBlockSize) {
    ImageFile image(8 * kMB);
    std::vector<std::uint8_t> pattern(16384);
    for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i / 64);
    {
        CCardDevice writer;
        writer.SetCardImageMode(true);
        ASSERT_TRUE(writer.ConnectImage(image.Path()));
        ASSERT_TRUE(writer.WriteBlock(0, pattern));
    }
    struct Case {
        int megabytes;
        int result;
        std::uint32_t blockBytes;
    };
    const Case cases[] = {{4, 1, 8192}, {8, 1, 8192}, {16, 1, 16384}, {32, 1, 16384}, {64, 0, 8192}, {0, 0, 8192}, {-4, 0, 8192}};
    CCardDevice device;
    device.SetCardImageMode(true);
    ASSERT_TRUE(device.ConnectImage(image.Path()));
    ASSERT_TRUE(device.SetCardSize(4));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.megabytes);
        // Failures keep what the last good call set; start each case from 8192.
        if (c.result == 0) {
            ASSERT_TRUE(device.SetCardSize(8));
        }
        EXPECT_EQ(device.SetCardSize(c.megabytes), c.result);
        EXPECT_EQ(device.GetBlockBytes(), c.blockBytes);
        EXPECT_EQ(device.ImagePagesPerBlock(), 16u);  // the image's own geometry stays
    }

    // With 8192-byte blocks a read fills 8192 bytes from an address that is a
    // multiple of 8192, and leaves the rest of a larger buffer alone.
    ASSERT_TRUE(device.SetCardSize(8));
    std::vector<std::uint8_t> buffer(16384, 0xEE);
    ASSERT_TRUE(device.ReadBlock(8192, buffer));
    EXPECT_TRUE(std::equal(pattern.begin() + 8192, pattern.end(), buffer.begin()));
    EXPECT_TRUE(All(std::vector<std::uint8_t>(buffer.begin() + 8192, buffer.end()), 0xEE));
    // An erase clears 8192 bytes only.
    ASSERT_TRUE(device.EraseBlock(0));
    EXPECT_TRUE(All(image.Bytes(0, 8192), 0xFF));
    EXPECT_TRUE(std::equal(pattern.begin() + 8192, pattern.end(), image.Bytes(8192, 8192).begin()));
}

TEST(CardImage, OperationsOutsideTheImageFailAndLeaveEverythingAlone) {
    ImageFile image(4 * kMB, 0x00);
    CCardDevice device;
    device.SetCardImageMode(true);
    ASSERT_TRUE(device.ConnectImage(image.Path()));
    struct Case {
        int megabytes;
        std::uint32_t address;
        bool inside;
    };
    const Case cases[] = {
        {16, static_cast<std::uint32_t>(4 * kMB - 16384), true},
        {16, static_cast<std::uint32_t>(4 * kMB - 8192), false},  // half the block past the end
        {16, static_cast<std::uint32_t>(4 * kMB), false},
        {4, static_cast<std::uint32_t>(4 * kMB - 8192), true},
        {4, static_cast<std::uint32_t>(4 * kMB), false},
        {4, 0xFFFFE000u, false},
        {16, 512, false},  // not the start of a block
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.megabytes) + " MB, address " + std::to_string(c.address));
        ASSERT_TRUE(device.SetCardSize(c.megabytes));
        std::vector<std::uint8_t> buffer(device.GetBlockBytes(), 0xA5);
        EXPECT_EQ(device.ReadBlock(c.address, buffer) != 0, c.inside);
        if (!c.inside) {
            EXPECT_TRUE(All(buffer, 0xA5)) << "a failed read changed the buffer";
            EXPECT_NE(device.GetErrorText().find(image.Path()), std::string::npos) << device.GetErrorText();
        }
        EXPECT_EQ(device.EraseBlock(c.address) != 0, c.inside);
        EXPECT_EQ(device.WriteBlock(c.address, std::vector<std::uint8_t>(device.GetBlockBytes(), 0x00)) != 0, c.inside);
    }
    EXPECT_EQ(image.Size(), 4 * kMB);
    // Only the blocks inside were erased; the first byte of the image was never touched.
    EXPECT_EQ(image.Bytes(0, 1)[0], 0x00);

    // A buffer smaller than a block is refused and left alone.
    ASSERT_TRUE(device.SetCardSize(16));
    std::vector<std::uint8_t> small(8192, 0xA5);
    EXPECT_FALSE(device.ReadBlock(0, small));
    EXPECT_TRUE(All(small, 0xA5));
}

TEST(CardImage, RefusedImageIsNotUsedForBlocks) {
    ImageFile good(4 * kMB);
    ImageFile tooSmall(1 * kMB);
    CCardDevice device;
    device.SetCardImageMode(true);
    ASSERT_TRUE(device.ConnectImage(good.Path()));
    EXPECT_FALSE(device.ConnectImage(tooSmall.Path()));
    std::vector<std::uint8_t> buffer(16384, 0xA5);
    EXPECT_FALSE(device.ReadBlock(2 * kMB, buffer));
    EXPECT_FALSE(device.EraseBlock(2 * kMB));
    EXPECT_FALSE(device.WriteBlock(0, buffer));
    EXPECT_EQ(tooSmall.Size(), 1 * kMB);
    EXPECT_TRUE(All(tooSmall.Bytes(0, 16384), 0xFF));
}

TEST(CardImage, ErrorTexts) {
    CCardDevice device;
    std::vector<std::uint8_t> buffer(16384);
    // Not in image mode and no card library: every block operation fails
    // with the binding's text.
    EXPECT_FALSE(device.ReadBlock(0, buffer));
    EXPECT_EQ(device.GetErrorText(), "USB setting failed.");

    device.SetCardImageMode(true);
    const std::string missing = (std::filesystem::temp_directory_path() / "murmex-no-such-image.tmf").string();
    EXPECT_FALSE(device.ConnectImage(missing));
    EXPECT_NE(device.GetErrorText().find(missing), std::string::npos) << device.GetErrorText();
    EXPECT_EQ(device.ImagePath(), missing);

    ImageFile image(4 * kMB);
    ASSERT_TRUE(device.ConnectImage(image.Path()));
    EXPECT_FALSE(device.ReadBlock(static_cast<std::uint32_t>(4 * kMB), buffer));
    EXPECT_NE(device.GetErrorText().find("beyond the card"), std::string::npos) << device.GetErrorText();
    // The text describes the latest operation: a good one leaves only the binding's text.
    ASSERT_TRUE(device.ReadBlock(0, buffer));
    EXPECT_EQ(device.GetErrorText(), "USB setting failed.");
}

TEST(CardImage, CloseResetsTheImageGeometry) {
    ImageFile image(32 * kMB);
    CCardDevice device;
    device.SetCardImageMode(true);
    ASSERT_TRUE(device.ConnectImage(image.Path()));
    ASSERT_EQ(device.ImageBlockCount(), 2048u);
    EXPECT_TRUE(device.Close());
    EXPECT_EQ(device.ImagePagesPerBlock(), 32u);
    EXPECT_EQ(device.ImageBlockCount(), 1024u);
    EXPECT_TRUE(device.IsCardImageMode());  // the mode outlives a disconnect
    std::vector<std::uint8_t> buffer(16384);
    EXPECT_FALSE(device.ReadBlock(0, buffer));
}

}  // namespace
}  // namespace murmex
