// The list templates: append order, head/tail handling, failure leaves the
// list as it was, free walks every node.
#include <cstring>

#include <gtest/gtest.h>

#include "kaldorn/lists.h"
#include "kaldorn/soloindx.h"
#include "support/alloc.h"

namespace {

TEST(Lists, AppendLinksBehindTheTailAndMovesOnlyTheTail) {
    tagKAL_DORN_VERSION_LISTEXA *head = nullptr, *tail = nullptr;
    tagKAL_DORN_TYPE_INFOEXA rec{};
    rec.dwMajorVersion = 1;
    ASSERT_EQ(AddToUpdtInfoListEx(&rec, 2, &head, &tail), 1);
    EXPECT_EQ(head, tail);
    rec.dwMajorVersion = 2;
    ASSERT_EQ(AddToUpdtInfoListEx(&rec, 0, &head, &tail), 1);
    EXPECT_EQ(+head->pNext, tail);
    EXPECT_EQ(+head->uchFlag, 2);
    EXPECT_EQ(+head->stInfo.dwMajorVersion, 1u);
    EXPECT_EQ(+tail->stInfo.dwMajorVersion, 2u);
    EXPECT_EQ(+tail->pNext, nullptr);
    EXPECT_EQ(KalDornFreeVersionListExLocal(head), 1);
    EXPECT_EQ(KalDornFreeVersionListExLocal<tagKAL_DORN_VERSION_LISTEXA>(nullptr), 0);
    EXPECT_EQ(FreeUpdtInfoListEx<tagKAL_DORN_FILE_INFO_LISTW>(nullptr), 0);
}

// A failed allocation leaves head, tail and the last link as they were.
TEST(Lists, FileNodeImageIsCopiedWholeWithItsLinkReset) {
    tagKAL_DORN_FILE_INFO_LISTW *head = nullptr, *tail = nullptr;
    tagKAL_DORN_FILE_INFO_LISTW image{};
    image.wszFileName[0] = 'a';
    image.dwKind = 3;
    image.dwReserved = 9;
    image.pNext = reinterpret_cast<tagKAL_DORN_FILE_INFO_LISTW*>(&image);
    ASSERT_EQ(AddToUpdtFileInfoList(&image, &head, &tail), 1);
    EXPECT_EQ(+head->pNext, nullptr);
    EXPECT_EQ(+head->wszFileName[0], 'a');
    EXPECT_EQ(+head->dwKind, 3u);
    EXPECT_EQ(+head->dwReserved, 9u);
    EXPECT_EQ(AddToUpdtFileInfoList<tagKAL_DORN_FILE_INFO_LISTW>(nullptr, &head, &tail), 0);
    tagKAL_DORN_FILE_INFO_LISTW* first = head;
    kaldorn::testing::fail_allocation(1);
    EXPECT_EQ(AddToUpdtFileInfoList(&image, &head, &tail), 0);
    kaldorn::testing::fail_allocation(0);
    EXPECT_TRUE(head == first && tail == first && first->pNext == nullptr);
    EXPECT_EQ(FreeUpdtInfoListEx(head), 1);
}

}  // namespace
