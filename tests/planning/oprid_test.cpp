// The update manager's operation-id list over index DATs on disk: delete
// (1), download (2), nothing (0), and what a missing index means for each.
#include <filesystem>

#include "plan_fixture.h"

namespace {

using OperationId = plan::PlanTest;

constexpr const char* kDeleteFromStart = "D1.1 D1.2 W1.3 D2.1 D2.2 W2.3 D3.1 D3.2 D4.1 D4.2";

TEST_F(OperationId, DeleteAndDownloadOnTheExampleText) {
    source_at("8.2");  // at 5.2 (the C host asks the plain questions there)
    client_at("5.2");
    EXPECT_EQ(oprid(7), "error 0");
    EXPECT_EQ(oprid(1, client + "/", source + "/"), kDeleteFromStart);
    for (const char* version : {"6.3", "7.2"}) {  // the window opens at X3.3, the second monthly back
        client_at(version);
        EXPECT_EQ(oprid(1), "D4.1 D4.2") << version;
    }
    client_at("4.5");
    EXPECT_EQ(oprid(1) + oprid(2), "error 1005error 1005");
    EXPECT_EQ(oprid(1, std::string(241, 'c'), source) + oprid(1, client, std::string(260, 's')), "error 1007error 1007");
}

TEST_F(OperationId, VersionOrderComesBeforeTheOperation) {
    source_at("8.2");
    for (auto [version, code] : {std::pair{"8.2", "error 1004"}, {"9.0", "error 1003"}}) {
        client_at(version);
        for (unsigned int op : {0u, 1u, 2u, 7u}) EXPECT_EQ(oprid(op), code) << version << " op " << op;
    }
}

TEST_F(OperationId, MissingIndexes) {
    source_at("8.2");  // no client index: only the clean-up has an answer, from 1.0
    EXPECT_EQ(oprid(1), kDeleteFromStart);
    EXPECT_EQ(oprid(0) + oprid(2) + oprid(7), "");
    client_at("5.2");
    std::filesystem::remove(source + "/00000001_index.dat");
    EXPECT_EQ(oprid(0) + oprid(1) + oprid(2) + oprid(7), "");
    tagKAL_DORN_VERSION_LIST* list = nullptr;
    unsigned int error = 5;
    auto w = plan::wide(client);
    EXPECT_EQ(KaldornGetFileListFromOprIdForUpdateManagerLocalW(1, 1, w.data(), nullptr, w.data(), &list, &error), 0);
    EXPECT_EQ(error, 5u);
}

}  // namespace
