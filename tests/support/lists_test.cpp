// The list templates: the node's flag and image, head/tail handling, a
// failed allocation leaves the list as it was, null lists free to 0.
#include <gtest/gtest.h>

#include "kaldorn/lists.h"
#include "kaldorn/soloindx.h"
#include "support/alloc.h"

namespace {

TEST(Lists, AppendMovesOnlyTheTailAndAFailureLeavesTheList) {
    tagKAL_DORN_VERSION_LISTEXA *head = nullptr, *tail = nullptr;
    tagKAL_DORN_TYPE_INFOEXA rec{};
    rec.dwMajorVersion = 1;
    ASSERT_EQ(AddToUpdtInfoListEx(&rec, 2, &head, &tail), 1);
    EXPECT_EQ(head, tail);
    rec.dwMajorVersion = 2;
    ASSERT_EQ(AddToUpdtInfoListEx(&rec, 0, &head, &tail), 1);
    EXPECT_TRUE(head->pNext == tail && tail->pNext == nullptr && head->uchFlag == 2);
    EXPECT_EQ(+head->stInfo.dwMajorVersion * 10 + tail->stInfo.dwMajorVersion, 12u);
    EXPECT_EQ(KalDornFreeVersionListExLocal(head), 1);

    tagKAL_DORN_FILE_INFO_LISTW *first = nullptr, *last = nullptr, image{};
    image.wszFileName[0] = 'a';
    image.dwKind = 3;
    image.dwReserved = 9;
    image.pNext = &image;  // the copy's link is reset
    ASSERT_EQ(AddToUpdtFileInfoList(&image, &first, &last), 1);
    EXPECT_TRUE(first == last && first->pNext == nullptr && first->wszFileName[0] == 'a' && first->dwKind == 3 &&
                first->dwReserved == 9);
    EXPECT_EQ(AddToUpdtFileInfoList<tagKAL_DORN_FILE_INFO_LISTW>(nullptr, &first, &last), 0);
    tagKAL_DORN_FILE_INFO_LISTW* only = first;
    kaldorn::testing::fail_allocation(1);
    EXPECT_EQ(AddToUpdtFileInfoList(&image, &first, &last), 0);
    kaldorn::testing::fail_allocation(0);
    EXPECT_TRUE(first == only && last == only && only->pNext == nullptr);
    EXPECT_EQ(FreeUpdtInfoListEx(first), 1);
    EXPECT_EQ(KalDornFreeVersionListExLocal<tagKAL_DORN_VERSION_LISTEXA>(nullptr) +
                  FreeUpdtInfoListEx<tagKAL_DORN_FILE_INFO_LISTW>(nullptr),
              0);
}

}  // namespace
