// plan --explain: the source's version text as a timeline, one line per
// series, with the client's position (@), what it already holds (.) and each
// version the answer selected (*), so a reader sees why each file was chosen.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "kaldorn/nupdtinf.h"

namespace tool {

void print_timeline(unsigned int product, const std::string& client, const std::string& source,
                    const std::vector<std::string>& chosen) {
    std::string path = index_file(source, product);
    tagUPDT_DAT_VERSION_INFO_MEM info{};
    if (GetUpdateVersionInfo(path.c_str(), &info) != 1) {
        std::cout << "(no timeline: " << path << " cannot be loaded)\n";
        return;
    }
    std::vector<tagUPDT_VERSION_BUFFER> entries(info.stBuffer.dwSize);
    unsigned int count = 0;
    bool decoded = ConvertDATBufferFormat(&info.stBuffer, entries.data(), info.stBuffer.dwSize, &count) == 1;
    ReleaseUpdateVersionInfo(&info);
    if (!decoded) {
        std::cout << "(no timeline: the version text of " << path << " is malformed)\n";
        return;
    }
    // A client without a readable index stands at 1.0, before every entry.
    tagKAL_DORN_VERSION_LIST node{};
    unsigned int error = 0;
    tagKAL_DORN_DBVERSION_INFO at{1, 0};
    if (KalDornGetCurrentClientVersionForUpdateManagerLocal(product, widen(client).data(), &node, &error) == 1)
        at = {node.stInfo.dwMajorVersion, node.stInfo.dwMinorVersion};
    int position = -1;
    unsigned int type = 0;
    GetVersionIndex(entries.data(), count, &at, &position, &type);
    std::cout << "timeline of " << path << "; client at " << version_text(at.dwMajorVersion, at.dwMinorVersion)
              << "   (. held by the client, @ the client's version, * to fetch)\n";
    unsigned int series = 0;
    for (unsigned int i = 0; i < count; ++i) {
        const tagKAL_DORN_TYPE_INFO r = entries[i].stInfo;
        if (entries[i].chType == 0) continue;  // not an update token
        if (r.dwMajorVersion != series) {
            series = r.dwMajorVersion;
            std::printf("%s  series %4u ", i == 0 ? "" : "\n", series);
        }
        std::string version = version_text(r.dwMajorVersion, r.dwMinorVersion);
        bool fetch = std::find(chosen.begin(), chosen.end(), version) != chosen.end();
        int here = static_cast<int>(i);
        char mark = here == position ? '@' : here < position ? '.' : fetch ? '*' : ' ';
        std::printf(" %c%s%c", entries[i].chType, version.c_str(), mark);
    }
    std::printf("\n");
}

}  // namespace tool
