// Selection rules: each walks a decoded version text after the client's
// position and writes only the two flag bytes of its entries. Levels compare
// by record letter, daily 'D' < weekly 'W' < monthly 'X'; a client at 1.0
// (start -1) stands at monthly level.
#include <unistd.h>

#include <cstdio>

#include "kaldorn/nupdtinf.h"

namespace {

using Entry = tagUPDT_VERSION_BUFFER;

constexpr char kDaily = 'D';
constexpr char kWeekly = 'W';
constexpr char kMonthly = 'X';
constexpr unsigned char kWeeklyMark = 1;
constexpr unsigned char kMonthlyMark = 2;

// Presence test variants: the mode-1 "gn" name, then the product's own.
constexpr unsigned char kSharedVariant = 2;
constexpr unsigned char kProductVariant = 1;

unsigned char level(const Entry& e) { return static_cast<unsigned char>(e.chType); }
unsigned char level_of(char type) { return static_cast<unsigned char>(type); }
void select(Entry& e) { e.uchSelected = 1; }
bool is_monthly(const Entry& e) { return e.chType == kMonthly; }

unsigned char mark_of(const Entry& e) {
    if (e.chType == kWeekly) return kWeeklyMark;
    if (e.chType == kMonthly) return kMonthlyMark;
    return 0;
}

// A rule works only on an array whose count and start index describe it:
// start is -1 or the index of an entry.
bool usable(const Entry* entries, int count, int start) {
    return entries != nullptr && count >= 0 && start >= -1 && start < count;
}

// Keep window from the end down to start: everything from the last monthly
// on; before it, entries back to the second weekly plus every weekly and the
// monthly that opens the stretch; older than that, monthlies only.
void keep_window(Entry* entries, int count, int start) {
    int monthlies = 0, weeklies = 0;
    for (int i = count - 1; i > start; --i) {
        Entry& e = entries[i];
        if (monthlies == 0) {
            select(e);
            if (is_monthly(e)) monthlies = 1;
        } else if (monthlies == 1) {
            if (weeklies < 2) select(e);
            if (e.chType == kWeekly) {
                select(e);
                ++weeklies;
            } else if (is_monthly(e)) {
                select(e);
                monthlies = 2;
            }
        } else if (is_monthly(e)) {
            select(e);
            ++monthlies;
        }
    }
}

// One below the second monthly at or before start, or -1 when there are
// fewer than two.
int delete_window_start(const Entry* entries, int start) {
    int j = start, monthlies = 0;
    for (; j >= 0 && monthlies < 2; --j)
        if (is_monthly(entries[j])) ++monthlies;
    return j;
}

// Forward pass of the internet rule: the client's level and every later
// record of the running level are selected; where the level rises the entry
// is marked instead and the level follows it.
void follow_level_forward(Entry* entries, int count, int start) {
    unsigned char running = start < 0 ? level_of(kMonthly) : level(entries[start]);
    for (int i = start + 1; i < count; ++i) {
        Entry& e = entries[i];
        if (level(e) == running) {
            select(e);
        } else if (level(e) > running) {
            running = level(e);
            e.uchFlag = mark_of(e);
        }
    }
}

// Backward pass: the newest records in non-decreasing level from the end,
// down to the first marked or selected entry.
void take_newest_tail(Entry* entries, int count, int start) {
    unsigned char running = level_of(kDaily);
    for (int i = count - 1; i > start; --i) {
        Entry& e = entries[i];
        if (e.uchFlag != 0 || e.uchSelected != 0) return;
        if (level(e) >= running) {
            select(e);
            running = level(e);
        }
    }
}

// 2012 pass A: once an unmarked monthly is met from the end, keep the
// monthlies (taking a marked one) and drop what lies between them. Returns
// whether a monthly was met.
bool keep_monthlies_only(Entry* entries, int count, int start) {
    bool monthly_seen = false;
    for (int i = count - 1; i > start; --i) {
        Entry& e = entries[i];
        if (!monthly_seen && e.uchFlag != 0) break;
        if (is_monthly(e)) {
            monthly_seen = true;
            if (e.uchFlag == kMonthlyMark) {
                e.uchFlag = 0;
                select(e);
            }
        } else if (monthly_seen) {
            e.uchSelected = 0;
            e.uchFlag = 0;
        }
    }
    return monthly_seen;
}

// 2012 pass B: before the one marked monthly, the marked weekly of the
// client's week replaces the dailies; nothing changes when that weekly lies
// right before the monthly.
void weekly_for_days(Entry* entries, int count, int start) {
    bool past_monthly = false;
    for (int i = count - 1; i > start; --i) {
        Entry& e = entries[i];
        if (e.uchFlag == kMonthlyMark) {
            if (i > 0 && entries[i - 1].uchFlag == kWeeklyMark) return;
            past_monthly = true;
            continue;
        }
        if (!past_monthly) continue;
        if (e.uchFlag == kWeeklyMark) {
            e.uchFlag = 0;
            select(e);
        }
        if (e.chType == kDaily) e.uchSelected = 0;
    }
}

// Name of one update file behind directory, or false when it does not fit.
bool update_file_path(char (&path)[KALDORN_MAX_PATH], unsigned int productId, const char* directory,
                      unsigned char variant, unsigned int mode, const tagKAL_DORN_TYPE_INFO& record) {
    const char* prefix;
    const char* suffix;
    if (mode == 1) {
        prefix = variant == kSharedVariant ? "gn" : productId == 1 ? "bk" : "ec";
        suffix = ".inx";
    } else {
        prefix = productId == 1 ? "iu" : "eu";
        suffix = record.dwUpdateType == KALDORN_UPDATE_WEEKLY    ? "_weekly.dat"
                 : record.dwUpdateType == KALDORN_UPDATE_MONTHLY ? "_monthly.dat"
                                                                 : ".dat";
    }
    // Versions print as signed numbers, as in every update file name.
    int n = std::snprintf(path, sizeof path, "%s%s%04d%02d%s", directory, prefix,
                          static_cast<int>(record.dwMajorVersion), static_cast<int>(record.dwMinorVersion), suffix);
    return n >= 0 && static_cast<size_t>(n) < sizeof path;
}

bool update_file_present(unsigned int productId, const char* directory, unsigned int mode, Entry& e) {
    return IsVersionFilePresent(productId, directory, kSharedVariant, mode, &e.stInfo) == 1 ||
           IsVersionFilePresent(productId, directory, kProductVariant, mode, &e.stInfo) == 1;
}

}  // namespace

int NewParseExForUpdateManager(tagUPDT_VERSION_BUFFER* entries, int count, int start) {
    if (!usable(entries, count, start)) return 1;
    for (int i = start + 1; i < count; ++i) select(entries[i]);
    return 1;
}

int NewParseExForUpdateManagerEx2(tagUPDT_VERSION_BUFFER* entries, int count, int start) {
    if (usable(entries, count, start)) keep_window(entries, count, start);
    return 1;
}

int NewParseForUpdateManagerDeleteFile(tagUPDT_VERSION_BUFFER* entries, int count, int start, int* firstIndex) {
    if (firstIndex == nullptr || !usable(entries, count, start)) return 1;
    int before = delete_window_start(entries, start);
    if (NewParseExForUpdateManagerEx2(entries, count, before) == 0) return 0;
    *firstIndex = before + 1;
    return 1;
}

int NewParseExForInternet(tagUPDT_VERSION_BUFFER* entries, int count, int start) {
    if (!usable(entries, count, start)) return 1;
    follow_level_forward(entries, count, start);
    take_newest_tail(entries, count, start);
    return 1;
}

int NewParseExForInternet2012(tagUPDT_VERSION_BUFFER* entries, int count, int start) {
    if (!usable(entries, count, start)) return 1;
    if (NewParseExForInternet(entries, count, start) == 0) return 0;
    if (!keep_monthlies_only(entries, count, start)) weekly_for_days(entries, count, start);
    return 1;
}

int IsVersionFilePresent(unsigned int productId, const char* directory, unsigned char variant, unsigned int mode,
                         tagKAL_DORN_TYPE_INFO* record) {
    if (directory == nullptr || record == nullptr) return 0;
    char path[KALDORN_MAX_PATH];
    if (!update_file_path(path, productId, directory, variant, mode, *record)) return 0;
    return ::access(path, F_OK) != -1 ? 1 : 0;
}

int NewParseExForPath(unsigned int productId, const char* directory, unsigned int mode,
                      tagUPDT_VERSION_BUFFER* entries, int count, int start) {
    if (directory == nullptr || !usable(entries, count, start)) return 1;
    unsigned char running = level_of(kDaily);
    for (int i = count - 1; i > start; --i) {
        Entry& e = entries[i];
        if (level(e) < running) continue;
        if (update_file_present(productId, directory, mode, e)) {
            select(e);
            running = level(e);
        } else if (e.chType == kDaily) {
            return 0;
        } else if (e.chType == kMonthly) {
            e.uchFlag = kMonthlyMark;  // look for its weeks instead
            running = level_of(kWeekly);
        } else if (e.chType == kWeekly) {
            e.uchFlag = kWeeklyMark;  // look for its days instead
            running = level_of(kDaily);
        }
    }
    return 1;
}
