// Icons of the resource library as HICON and image lists of them, headless:
// sizes, scaling, alpha kept, indices, and what is refused.
#include <gtest/gtest.h>

#include <vector>

#include "platform/ImageList.h"
#include "platform/Resources.h"
#include "tests/platform/window/RecordingContext.h"

TEST(ImageLists, IconsOfTheResourceLibraryFillImageListsOfTheirSize) {
    const HMODULE res = LoadLibrary(u"ORVADERES.DLL");
    ASSERT_TRUE(res) << GetLastError();
    const HICON large = LoadIcon(res, MAKEINTRESOURCE(175));
    const HICON small = HICON(LoadImage(res, MAKEINTRESOURCE(175), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    ASSERT_TRUE(large && small);
    EXPECT_EQ(plat::gdi::GetBitmapSize(large).cx, 32);
    EXPECT_EQ(plat::gdi::GetBitmapSize(small).cx, 16);
    EXPECT_EQ(LoadIcon(res, MAKEINTRESOURCE(999)), 0u);
    EXPECT_EQ(LoadImage(res, MAKEINTRESOURCE(175), IMAGE_BITMAP, 0, 0, 0), nullptr);

    // The icon's own pixels, alpha and all, drawn over what is there.
    testing_gdi::RecordingContext dc;
    ASSERT_TRUE(DrawIcon(&dc, 0, 0, large));
    const plat::res::Icon* own = plat::res::FindIcon(res, 175, 32);
    ASSERT_TRUE(own);
    EXPECT_EQ(dc.seen, std::vector<uint32_t>(own->pixels, own->pixels + 32 * 32));

    const HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 6, 0);
    ASSERT_TRUE(list);
    EXPECT_EQ(ImageList_AddIcon(list, small), 0);
    EXPECT_EQ(ImageList_AddIcon(list, large), 1);  // scaled to the list's size
    EXPECT_EQ(ImageList_AddIcon(list, 12345), -1);
    EXPECT_EQ(ImageList_GetImageCount(list), 2);
    int cx = 0, cy = 0;
    EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
    EXPECT_EQ(cx, 16);
    ASSERT_TRUE(ImageList_Draw(list, 1, &dc, 4, 4, ILD_TRANSPARENT));
    EXPECT_EQ(dc.width, 16);
    EXPECT_EQ(dc.seen[0], own->pixels[0]);
    EXPECT_EQ(dc.seen[16 + 1], own->pixels[2 * 32 + 2]);
    EXPECT_FALSE(ImageList_Draw(list, 2, &dc, 0, 0, ILD_NORMAL));
    EXPECT_EQ(ImageList_ReplaceIcon(list, 0, large), 0);
    EXPECT_TRUE(ImageList_Remove(list, 0));
    EXPECT_EQ(ImageList_GetImageCount(list), 1);
    EXPECT_TRUE(ImageList_Remove(list, -1));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(ImageList_Create(0, 16, 0, 1, 1), 0u);
    EXPECT_EQ(ImageList_Create(16, 257, 0, 1, 1), 0u);
    EXPECT_TRUE(DestroyIcon(large));
    EXPECT_TRUE(DestroyIcon(small));
    FreeLibrary(res);
}
