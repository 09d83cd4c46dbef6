#include <gtest/gtest.h>

#include <type_traits>

#include "core/support/SizedBuffers.h"

TEST(SizedBuffers, AllocateReplacesAndFreeKeepsTheCount) {
    CWideBuffer wide;
    EXPECT_EQ(wide.GetCount(), 0);
    EXPECT_EQ(wide.GetBuffer(), nullptr);

    ASSERT_NE(wide.Allocate(5), nullptr);
    char16_t* bigger = wide.Allocate(10);  // the 5 elements are freed (leak check)
    ASSERT_NE(bigger, nullptr);
    EXPECT_EQ(wide.GetCount(), 10);
    EXPECT_EQ(wide.GetString(), bigger);
    EXPECT_EQ(wide.At(9), bigger + 9);

    wide.Free();
    wide.Free();
    EXPECT_EQ(wide.GetBuffer(), nullptr);
    EXPECT_EQ(wide.GetCount(), 10);

    EXPECT_EQ(wide.Allocate(0), nullptr);
    EXPECT_EQ(wide.GetCount(), 0);
    EXPECT_EQ(wide.Allocate(-4), nullptr);
    EXPECT_EQ(wide.GetCount(), -4);
}

TEST(SizedBuffers, ElementShapes) {
    static_assert(std::is_same_v<CByteBuffer::Element, uint8_t>);
    static_assert(std::is_same_v<CCharBuffer::Element, char>);
    static_assert(sizeof(CDwordBuffer::Element) == 4);
    static_assert(sizeof(CPointerBuffer::Element) == sizeof(void*));
    static_assert(sizeof(CTripleBuffer::Element) == 12);

    CTripleBuffer triples;
    ASSERT_NE(triples.Allocate(100), nullptr);
    *triples.At(99) = DecoderTriple{48, -1, 1};
    EXPECT_EQ(triples.GetBuffer()[99].parameter, -1);

    CByteBuffer bytes;
    ASSERT_NE(bytes.Allocate(3), nullptr);
    CByteBuffer moved(std::move(bytes));
    EXPECT_EQ(moved.GetCount(), 3);
    EXPECT_NE(moved.GetData(), nullptr);
    EXPECT_EQ(bytes.GetBuffer(), nullptr);
}
