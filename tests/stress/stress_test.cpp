// Eight threads ask the shipped kaldorn.so the same questions at once over
// one shared example installation: readers, planners, the solo comparison
// and component verification. Every answer must equal the one computed
// single-threaded first; a hidden global or a data race shows up as a
// mismatch here or as a report from ThreadSanitizer (label tsan).
// KALDORN_STRESS_ROUNDS picks how often each thread goes through them all.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "datwriter.h"
#include "kaldorn.h"
#include "kaldorn/md5lib.h"
#include "kaldorn/nupdtinf.h"
#include "kaldorn/soloindx.h"
#include "kaldorn/vxcminfo.h"

namespace {

const std::string kRoot = KALDORN_EXAMPLE_DIR;
const std::string kClient = kRoot + "/client", kSource = kRoot + "/source", kReference = kRoot + "/reference";

using fixtures::wide;

std::string raw(const void* p, size_t n) { return p == nullptr ? "" : std::string(static_cast<const char*>(p), n); }

// Every node's bytes but its link, names with what follows their NUL:
// uninitialised bytes handed out would show as a mismatch too.
template <typename List>
std::string nodes(const List* l) {
    std::string s;
    for (; l != nullptr; l = l->pNext) s += raw(l, offsetof(List, pNext));
    return s;
}

using Question = std::function<std::string()>;

// A question answered with a list: result, error code and the list's bytes;
// the list goes back to the library.
template <typename List, typename Call>
Question list_question(Call call) {
    return [call] {
        List* list = nullptr;
        unsigned int error = 0;
        int ok = call(&list, &error);
        std::string s = std::to_string(ok) + "/" + std::to_string(error) + ":" + nodes(list);
        FreeUpdtInfoListEx(list);
        return s;
    };
}

std::vector<Question> questions() {
    std::vector<Question> q;
    const std::string client_index = kClient + "/00000001_index.dat", source_index = kSource + "/00000001_index.dat";
    const std::string client_defs = kClient + "/00000004_index.dat", source_defs = kSource + "/00000004_index.dat";
    const std::string client_list = kClient + "/00000004_compns.lst", install = kRoot + "/install";
    const std::string updates = kRoot + "/updates";
    const std::vector<unsigned short> wclient = wide(kClient), wsource = wide(kSource);
    using ExA = tagKAL_DORN_VERSION_LISTEXA;
    // Readers.
    q.push_back([=] {
        tagUPDT_DAT_VERSION_INFO_MEM info{};
        int ok = GetUpdateVersionInfo(source_index.c_str(), &info);
        std::string s = std::to_string(ok) + raw(&info.stDbVersion, 8) + raw(info.stBuffer.pData, info.stBuffer.dwSize);
        ReleaseUpdateVersionInfo(&info);
        return s;
    });
    q.push_back([=] {
        tagSOLO_DAT_HEADER_INFO header{};
        tagSOLO_DEF_MEM_RECORD_INFO* records = nullptr;
        unsigned int count = 0, error = 0;
        int ok = GetSoloIndexDatHeader(source_defs.c_str(), &header, &error) +
                 GetDefListFromDatFile(source_defs.c_str(), &records, &count, &error);
        std::string s = std::to_string(ok) + raw(&header, sizeof header) + raw(records, count * sizeof *records);
        ReleaseDefList(records, count, &error);
        return s;
    });
    q.push_back([=] {
        tagVX_COMPONENT_FILE_MEM_RECORD_INFO* records = nullptr;
        unsigned int count = 0, error = 0;
        int ok = GetCompnListFromLstFile((kSource + "/00000004_compns.lst").c_str(), &records, &count, &error);
        std::string s = std::to_string(ok) + raw(records, count * sizeof *records);
        ReleaseCompnList(records, count, &error);
        return s;
    });
    q.push_back([=] {
        unsigned char digest[16] = {};
        return std::to_string(CalculateMD5WrapperA(client_index.c_str(), digest)) + raw(digest, sizeof digest);
    });
    // Download, delete and operation-id lists and the client version, in both widths.
    for (unsigned int product : {1u, 4u}) {
        q.push_back(list_question<tagKAL_DORN_VERSION_LISTEXW>([=](auto** l, unsigned int* e) {
            return KalDornGetDownloadVersionListForUpdateManagerExW(product, wclient.data(), wsource.data(), l, e);
        }));
        q.push_back(list_question<ExA>([=](auto** l, unsigned int* e) {
            return KalDornGetDownloadVersionListForInternetExA(product, kClient.c_str(), kSource.c_str(), l, e);
        }));
        q.push_back([=] {
            ExA node{};
            unsigned int error = 0;
            int ok = KalDornGetCurrentClientVersionForUpdateManagerExA(product, kClient.c_str(), &node, &error);
            return std::to_string(ok) + "/" + std::to_string(error) + nodes(&node);
        });
    }
    q.push_back(list_question<ExA>([=](auto** l, unsigned int* e) {
        return KalDornGetDownloadVersionListForUpdateManagerEx2A(1, kClient.c_str(), kSource.c_str(), l, e);
    }));
    q.push_back(list_question<ExA>([=](auto** l, unsigned int* e) {
        return KalDornGetDownloadVersionListForPathExA(1, kClient.c_str(), kSource.c_str(), updates.c_str(), l, e);
    }));
    q.push_back([=] {
        tagKAL_DORN_VERSION_LIST node{};
        unsigned int error = 0;
        return std::to_string(KalDornGetCurrentClientVersionForUpdateManagerW(wclient.data(), &node, &error)) +
               nodes(&node);
    });
    for (unsigned int operation : {0u, 1u, 2u}) {
        q.push_back(list_question<tagKAL_DORN_FILE_INFO_LISTW>([=](auto** l, unsigned int* e) {
            return KaldornGetFileListFromOprIdForUpdateManagerW(1, operation, wsource.data(), wsource.data(),
                                                                wclient.data(), l, e);
        }));
        q.push_back(list_question<tagKAL_DORN_FILE_INFO_LISTA>([=](auto** l, unsigned int* e) {
            return KaldornGetFileListFromOprIdForSoloUpdt(4, operation, kSource.c_str(), kReference.c_str(),
                                                          kClient.c_str(), l, e);
        }));
    }
    // Solo planning: the comparison, and the download with component repair
    // (sibling library, component verification).
    q.push_back([=] {
        tagSOLO_DEF_MEM_RECORD_INFO *all = nullptr, *selected = nullptr;
        unsigned int all_count = 0, selected_count = 0, error = 0;
        tagSOLO_DAT_HEADER_INFO new_header{}, old_header{};
        int mode = -1;
        int ok = CompareSoloDatFiles(0, "", source_defs.c_str(), client_defs.c_str(), &all, &all_count, &selected,
                                     &selected_count, &new_header, &old_header, &mode, &error);
        std::string s = std::to_string(ok) + "/" + std::to_string(error) + "/" + std::to_string(mode) +
                        raw(all, all_count * sizeof *all) + raw(selected, selected_count * sizeof *selected) +
                        raw(&new_header, sizeof new_header) + raw(&old_header, sizeof old_header);
        ReleaseDefList(all, all_count, &error);
        ReleaseDefList(selected, selected_count, &error);
        return s;
    });
    q.push_back(list_question<ExA>([=](auto** l, unsigned int* e) {
        return KalDornGetDownloadFilesListForSoloUpdt(4, 1, kClient.c_str(), kSource.c_str(), l, e);
    }));
    q.push_back([=] {
        tagVX_COMPONENT_FILE_MEM_RECORD_INFO* records = nullptr;
        unsigned int count = 0, error = 0;
        int ok = VerifyCompnsFileRecords(client_list.c_str(), install.c_str(), nullptr, &records, &count, &error);
        std::string s = std::to_string(ok) + "/" + std::to_string(error) + raw(records, count * sizeof *records);
        ReleaseCompnList(records, count, &error);
        return s;
    });
    return q;
}

TEST(Stress, EightThreadsGetTheSingleThreadedAnswers) {
    const std::vector<Question> asked = questions();
    std::vector<std::string> expected;
    for (const auto& question : asked) expected.push_back(question());
    // The example holds real answers: a version text, damaged components.
    ASSERT_GT(expected.front().size(), 40u) << "the example's version index did not load";
    ASSERT_GT(expected.back().size(), 2 * sizeof(tagVX_COMPONENT_FILE_MEM_RECORD_INFO)) << "nothing to repair";

    const char* env = std::getenv("KALDORN_STRESS_ROUNDS");
    const int rounds = env != nullptr ? std::atoi(env) : 5;
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int r = 0; r < rounds; ++r) {
                // Each thread starts elsewhere in the list, so different calls overlap.
                for (size_t i = 0; i < asked.size(); ++i) {
                    size_t k = (i + static_cast<size_t>(t) * 3) % asked.size();
                    if (asked[k]() != expected[k] && mismatches.fetch_add(1) < 10)
                        ADD_FAILURE() << "thread " << t << ", round " << r << ": question " << k << " answered differently";
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
