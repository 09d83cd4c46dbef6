// Bitmaps and pictures from the image files of a device root: the formats
// the layer reads, the limits it checks before decoding, and scaling them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/DeviceFs.h"
#include "platform/Gdi.h"
#include "platform/Picture.h"
#include "tests/platform/window/RecordingContext.h"

namespace {

class Images : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/images-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        root_ = dir;
        plat::fs::SetDeviceRoot(root_);
    }
    void TearDown() override {
        plat::fs::SetDeviceRoot("");
        std::filesystem::remove_all(root_);
    }
    // A 4 x 2 picture: left half red, right half half-transparent blue.
    std::string Save(const char* name, const char* format, QSize size = QSize(4, 2)) {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(QColor(255, 0, 0));
        for (int y = 0; y < size.height(); ++y)
            for (int x = size.width() / 2; x < size.width(); ++x) image.setPixelColor(x, y, QColor(0, 0, 255, 128));
        const std::string path = root_ + "/" + name;
        EXPECT_TRUE(image.save(QString::fromStdString(path), format, 100));
        return path;
    }
    std::string root_;
};



}  // namespace

TEST_F(Images, BmpPngAndJpegFilesBecomeBitmapsAndTransparencyMeetsWhite) {
    Save("a.bmp", "BMP");
    Save("a.png", "PNG");
    Save("a.jpg", "JPEG");
    for (const char16_t* path : {u"\\a.bmp", u"\\A.PNG", u"\\a.jpg"}) {
        const HBITMAP b = plat::gdi::LoadBitmapFile(path);
        ASSERT_TRUE(b);
        EXPECT_EQ(plat::gdi::GetBitmapSize(b).cx, 4);
        EXPECT_EQ(plat::gdi::GetBitmapSize(b).cy, 2);
        testing_gdi::RecordingContext dc;
        ASSERT_TRUE(plat::gdi::DrawBitmap(&dc, 0, 0, b));
        const QColor left = QColor::fromRgb(dc.seen[0]);
        EXPECT_GT(left.red(), 230);
        EXPECT_LT(left.blue(), 40);
        if (std::u16string_view(path) == u"\\A.PNG") {
            EXPECT_EQ(dc.seen[3], 0xff7f7fffu);  // blue at half over white
        }
        DeleteObject(b);
    }
}

TEST_F(Images, OtherFormatsBrokenFilesOversizedImagesAndLinksAreRefused) {
    // A 1 x 1 GIF, which Qt reads but the layer does not take.
    const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0,
                                 0x21, 0xF9, 4, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, 0x3B};
    std::ofstream(root_ + "/a.gif", std::ios::binary).write(reinterpret_cast<const char*>(gif), sizeof gif);
    Save("wide.png", "PNG", QSize(plat::gdi::kMaxBitmapSide + 1, 1));
    Save("big.png", "PNG", QSize(2100, 2100));  // each side allowed, too many pixels
    std::ofstream(root_ + "/broken.png") << "\x89PNG\r\n\x1a\n not really";
    std::ofstream(root_ + "/empty.bmp");
    const std::string inside = Save("ok.png", "PNG");
    std::filesystem::create_symlink(inside, root_ + "/link.png");
    for (const char16_t* path : {u"\\a.gif", u"\\wide.png", u"\\big.png", u"\\broken.png", u"\\empty.bmp", u"\\link.png",
                                 u"\\missing.png", u"\\..\\x.png"})
        EXPECT_EQ(plat::gdi::LoadBitmapFile(path), 0u);
    EXPECT_NE(plat::gdi::LoadBitmapFile(u"\\ok.png"), 0u);
}

TEST_F(Images, DrawnScaledToFillTheirRectangle) {
    Save("a.bmp", "BMP");
    const HBITMAP b = plat::gdi::LoadBitmapFile(u"\\a.bmp");
    ASSERT_TRUE(b);
    testing_gdi::RecordingContext dc;
    ASSERT_TRUE(plat::gdi::DrawBitmapScaled(&dc, RECT{0, 0, 8, 4}, b));
    EXPECT_EQ(dc.width, 8);
    EXPECT_EQ(dc.seen.size(), 32u);
    EXPECT_EQ(dc.seen[3], dc.seen[0]);  // the left half stretched over four columns
    EXPECT_NE(dc.seen[4], dc.seen[0]);
    EXPECT_FALSE(plat::gdi::DrawBitmapScaled(&dc, RECT{0, 0, 8, 4}, 0));
    DeleteObject(b);
}

TEST_F(Images, PicturesKeepTheirPixelsAsStoredInAnyFormatTheLayerReads) {
    Save("a.png", "PNG");
    const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0,
                                 0x21, 0xF9, 4, 0, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, 0x3B};
    std::ofstream(root_ + "/a.gif", std::ios::binary).write(reinterpret_cast<const char*>(gif), sizeof gif);
    plat::gdi::Picture picture;
    ASSERT_TRUE(plat::gdi::LoadPicture(u"\\a.png", 1 << 20, 4096, &picture));
    ASSERT_EQ(picture.width, 4);
    ASSERT_EQ(picture.height, 2);
    EXPECT_EQ(picture.At(0, 1), 0xffff0000u);
    EXPECT_EQ(picture.At(3, 1), 0xff0000ffu);  // transparency dropped, not composed
    ASSERT_TRUE(plat::gdi::LoadPicture(u"\\a.gif", 1 << 20, 4096, &picture));
    EXPECT_EQ(picture.width, 1);
}

TEST_F(Images, PicturesBeyondTheirLimitsBrokenOrOutsideTheRootAreRefusedAndLeftEmpty) {
    const std::string inside = Save("a.png", "PNG");
    Save("wide.png", "PNG", QSize(plat::gdi::kMaxBitmapSide + 1, 1));
    std::ofstream(root_ + "/broken.png") << "\x89PNG\r\n\x1a\n not really";
    std::ofstream(root_ + "/empty.bmp");
    std::filesystem::create_symlink(inside, root_ + "/link.png");
    const size_t fileBytes = std::filesystem::file_size(inside);
    const struct {
        const char16_t* path;
        size_t maxFileBytes;
        int maxSide;
    } cases[] = {
        {u"\\a.png", fileBytes - 1, 4096},  // a byte too long
        {u"\\a.png", fileBytes, 3},         // a side too long
        {u"\\a.png", fileBytes, plat::gdi::kMaxBitmapSide + 1},
        {u"\\wide.png", 1 << 20, plat::gdi::kMaxBitmapSide},
        {u"\\broken.png", 1 << 20, 4096},
        {u"\\empty.bmp", 1 << 20, 4096},
        {u"\\link.png", 1 << 20, 4096},
        {u"\\missing.png", 1 << 20, 4096},
        {u"\\..\\x.png", 1 << 20, 4096},
        {u"", 1 << 20, 4096},
    };
    for (const auto& c : cases) {
        plat::gdi::Picture picture{1, 1, {0xff000000u}};
        EXPECT_FALSE(plat::gdi::LoadPicture(c.path, c.maxFileBytes, c.maxSide, &picture));
        EXPECT_TRUE(picture.Empty());
    }
    plat::gdi::Picture picture;
    EXPECT_TRUE(plat::gdi::LoadPicture(u"\\a.png", fileBytes, 4, &picture));
}

TEST_F(Images, PicturesScaleSmoothlyWithinTheSideLimit) {
    Save("a.png", "PNG");
    plat::gdi::Picture picture;
    ASSERT_TRUE(plat::gdi::LoadPicture(u"\\a.png", 1 << 20, 4096, &picture));
    const plat::gdi::Picture scaled = plat::gdi::ScalePicture(picture, 8, 4);
    ASSERT_EQ(scaled.width, 8);
    ASSERT_EQ(scaled.height, 4);
    EXPECT_EQ(scaled.At(0, 0), 0xffff0000u);
    EXPECT_EQ(scaled.At(7, 3), 0xff0000ffu);
    // Where red meets blue the two are blended, not repeated.
    const uint32_t edge = scaled.At(3, 1);
    EXPECT_NE(edge & 0xff0000u, 0u);
    EXPECT_NE(edge & 0xffu, 0u);
    EXPECT_EQ(plat::gdi::ScalePicture(picture, 4, 2).pixels, picture.pixels);
    for (const auto& [w, h] : {std::pair{0, 4}, {8, -1}, {plat::gdi::kMaxBitmapSide + 1, 1}})
        EXPECT_TRUE(plat::gdi::ScalePicture(picture, w, h).Empty());
    EXPECT_TRUE(plat::gdi::ScalePicture(plat::gdi::Picture(), 8, 4).Empty());
}
