/* A host program in C: includes only the public header, links kaldorn.so,
 * calls every plain entry point for products 1 and 3 on the worked example
 * (a source at 8.2 with the 23-token text) and for the solo products 4, 5
 * and 778 on definition indexes with an engine directory, walks the lists
 * and frees them. */
#include <stdio.h>
#include <string.h>

#include "kaldorn.h"

static int failures;
static char root[200];

#define CHECK(cond)                                                           \
    do {                                                                      \
        if (!(cond)) {                                                        \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                       \
        }                                                                     \
    } while (0)

static const char* dir(const char* name) {
    static char buf[4][300];
    static int next;
    char* out = buf[next++ % 4];
    snprintf(out, 300, "%s/%s", root, name);
    return out;
}

/* ASCII paths widen unit by unit. */
static const unsigned short* wdir(const char* name) {
    static unsigned short buf[4][300];
    static int next;
    unsigned short* out = buf[next++ % 4];
    const char* s = dir(name);
    size_t i;
    for (i = 0; s[i] != '\0'; ++i) out[i] = (unsigned char)s[i];
    out[i] = 0;
    return out;
}

static char letter(unsigned int type) { return type == 101 ? 'D' : type == 102 ? 'W' : type == 104 ? 'X' : '?'; }

/* "W5.3 D6.1 ..." for a plain list. */
static const char* plain_text(const KAL_DORN_VERSION_LIST* l) {
    static char out[1024];
    size_t n = 0;
    out[0] = '\0';
    for (; l != NULL; l = l->pNext)
        n += (size_t)snprintf(out + n, sizeof out - n, "%s%c%u.%u", n ? " " : "", letter(l->stInfo.dwUpdateType),
                              l->stInfo.dwMajorVersion, l->stInfo.dwMinorVersion);
    return out;
}

static void narrow(const unsigned short* w, char* out) {
    size_t i;
    for (i = 0; w[i] != 0 && i < 259; ++i) out[i] = (char)w[i];
    out[i] = '\0';
}

/* File names of a W extended list, space-separated; checks the record
 * members the producer fills for every node. */
static const char* exw_text(const KAL_DORN_VERSION_LISTEXW* l, unsigned int flag) {
    static char out[2048];
    size_t n = 0;
    out[0] = '\0';
    for (; l != NULL; l = l->pNext) {
        unsigned short name[KALDORN_MAX_PATH];
        char narrowed[KALDORN_MAX_PATH];
        memcpy(name, (const char*)l + 1 + 12, sizeof name); /* the name sits at an odd address */
        narrow(name, narrowed);
        CHECK(l->stInfo.dwFlag == flag);
        CHECK(l->stInfo.dwKind == 0 && l->stInfo.dwReserved == 0);
        n += (size_t)snprintf(out + n, sizeof out - n, "%s%s", n ? " " : "", narrowed);
    }
    return out;
}

static const char* exa_text(const KAL_DORN_VERSION_LISTEXA* l, unsigned int flag) {
    static char out[2048];
    size_t n = 0;
    out[0] = '\0';
    for (; l != NULL; l = l->pNext) {
        CHECK(l->stInfo.dwFlag == flag);
        n += (size_t)snprintf(out + n, sizeof out - n, "%s%s", n ? " " : "", l->stInfo.szFileName);
    }
    return out;
}

#define EXPECT_TEXT(actual, expected)                                                           \
    do {                                                                                        \
        const char* a_ = (actual);                                                              \
        if (strcmp(a_, (expected)) != 0) {                                                      \
            fprintf(stderr, "%s:%d: got \"%s\"\n  expected \"%s\"\n", __FILE__, __LINE__, a_, (expected)); \
            ++failures;                                                                         \
        }                                                                                       \
    } while (0)

static void plain_functions(void) {
    KAL_DORN_VERSION_LIST* list = NULL;
    unsigned int err = 99;
    CHECK(KalDornGetDownloadVersionListForInternet(dir("client52"), dir("source"), &list, &err) == 1 && err == 0);
    EXPECT_TEXT(plain_text(list), "W5.3 W7.3 D8.1 D8.2");
    CHECK(KalDornFreeDownloadVersionListForInternet(list) == 1);
    CHECK(KalDornGetDownloadVersionListForInternetA(dir("client52"), dir("source"), &list, &err) == 1);
    EXPECT_TEXT(plain_text(list), "W5.3 W7.3 D8.1 D8.2");
    CHECK(KalDornFreeDownloadVersionListForInternet(list) == 1);

    CHECK(KalDornGetDownloadVersionListForUpdateManagerW(wdir("client41"), wdir("source"), &list, &err) == 1);
    EXPECT_TEXT(plain_text(list), "D4.2 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2");
    CHECK(KalDornFreeDownloadVersionListForUpdateManager(list) == 1);

    CHECK(KalDornGetDownloadVersionListForPath(dir("client41"), dir("source"), dir("updates/"), &list, &err) == 1);
    EXPECT_TEXT(plain_text(list), "X6.3 W7.3 D8.1 D8.2");
    CHECK(KalDornFreeDownloadVersionListForPath(list) == 1);
    CHECK(KalDornGetDownloadVersionListForPathA(dir("client41"), dir("source/"), dir("updates/"), &list, &err) == 1);
    EXPECT_TEXT(plain_text(list), "X6.3 W7.3 D8.1 D8.2");
    CHECK(KalDornFreeDownloadVersionListForPath(list) == 1);

    /* Same version: success, 1004, empty list. */
    list = (KAL_DORN_VERSION_LIST*)&err;
    CHECK(KalDornGetDownloadVersionListForInternet(dir("source"), dir("source"), &list, &err) == 1);
    CHECK(err == 1004 && list == NULL);
    CHECK(KalDornFreeDownloadVersionListForInternet(NULL) == 0);
    CHECK(KalDornFreeDownloadVersionListForPath(NULL) == 0);
    CHECK(KalDornFreeDownloadVersionListForUpdateManager(NULL) == 0);
    CHECK(KalDornGetDownloadVersionListForInternet(dir("client52"), dir("source"), &list, NULL) == 0);
}

static void extended_functions(unsigned int product, const char* prefix) {
    KAL_DORN_VERSION_LISTEXW* w = NULL;
    KAL_DORN_VERSION_LISTEXA* a = NULL;
    unsigned int err = 99;
    char expected[1024];

    snprintf(expected, sizeof expected, "%s000503_weekly.dat %s000703_weekly.dat %s000801.dat %s000802.dat", prefix,
             prefix, prefix, prefix);
    CHECK(KalDornGetDownloadVersionListForInternetExW(product, wdir("client52"), wdir("source"), &w, &err) == 1);
    EXPECT_TEXT(exw_text(w, 0), expected);
    CHECK(KalDornFreeDownloadVersionListExW(w) == 1);
    CHECK(KalDornGetDownloadVersionListForInternetExA(product, dir("client52"), dir("source"), &a, &err) == 1);
    EXPECT_TEXT(exa_text(a, 0), expected);
    CHECK(KalDornFreeDownloadVersionListExA(a) == 1);

    /* Rule flag 0 lists everything after the client; the Ex2 keep-window
     * starts at the client's weekly. */
    CHECK(KalDornGetDownloadVersionListForUpdateManagerExA(product, dir("client41"), dir("source"), &a, &err) == 1);
    CHECK(a != NULL && a->stInfo.dwMajorVersion == 4 && a->stInfo.dwMinorVersion == 2 && a->uchFlag == 0);
    KalDornFreeDownloadVersionListExA(a);
    snprintf(expected, sizeof expected, "%s000403_weekly.dat", prefix);
    CHECK(KalDornGetDownloadVersionListForUpdateManagerEx2W(product, wdir("client41"), wdir("source"), &w, &err) == 1);
    CHECK(strncmp(exw_text(w, 0), expected, strlen(expected)) == 0);
    KalDornFreeDownloadVersionListExW(w);
    CHECK(KalDornGetDownloadVersionListForUpdateManagerEx2A(product, dir("client41"), dir("source"), &a, &err) == 1);
    CHECK(strncmp(exa_text(a, 0), expected, strlen(expected)) == 0);
    KalDornFreeDownloadVersionListExA(a);
    CHECK(KalDornGetDownloadVersionListForUpdateManagerExW(product, wdir("client41"), wdir("source"), &w, &err) == 1);
    KalDornFreeDownloadVersionListExW(w);

    if (product == 1) { /* the update files of the example are product 1's */
        CHECK(KalDornGetDownloadVersionListForPathExW(product, wdir("client41"), wdir("source"), wdir("updates/"), &w,
                                                      &err) == 1);
        EXPECT_TEXT(exw_text(w, 0), "iu000603_monthly.dat iu000703_weekly.dat iu000801.dat iu000802.dat");
        KalDornFreeDownloadVersionListExW(w);
        CHECK(KalDornGetDownloadVersionListForPathExA(product, dir("client41"), dir("source"), dir("updates/"), &a,
                                                      &err) == 1);
        EXPECT_TEXT(exa_text(a, 0), "iu000603_monthly.dat iu000703_weekly.dat iu000801.dat iu000802.dat");
        KalDornFreeDownloadVersionListExA(a);
    }

    /* Every extended function: same version is success with 1004, no list. */
    err = 0;
    CHECK(KalDornGetDownloadVersionListForUpdateManagerExW(product, wdir("source"), wdir("source"), &w, &err) == 1);
    CHECK(err == 1004 && w == NULL);
    CHECK(KalDornGetDownloadVersionListForUpdateManagerEx2A(product, dir("source"), dir("source"), &a, &err) == 1);
    CHECK(err == 1004 && a == NULL);
    CHECK(KalDornGetDownloadVersionListForInternetExA(product, dir("source"), dir("source"), &a, &err) == 1);
    CHECK(err == 1004 && a == NULL);
    CHECK(KalDornGetDownloadVersionListForPathExA(product, dir("source"), dir("source"), dir("updates"), &a, &err) == 1);
    CHECK(err == 1004 && a == NULL);

    /* Clients at 381.1 get dwFlag 1 on every record of product 1 only. */
    CHECK(KalDornGetDownloadVersionListForInternetExW(product, wdir("client381"), wdir("source381"), &w, &err) == 1);
    snprintf(expected, sizeof expected, "%s038102.dat %s038103.dat", prefix, prefix);
    EXPECT_TEXT(exw_text(w, product == 1 ? 1 : 0), expected);
    KalDornFreeDownloadVersionListExW(w);
}

static void unserved_products(void) {
    KAL_DORN_VERSION_LISTEXW* w = (KAL_DORN_VERSION_LISTEXW*)&failures;
    unsigned int err = 99;
    unsigned int products[] = {0, 2, 6, 778};
    size_t i;
    for (i = 0; i < sizeof products / sizeof products[0]; ++i) {
        CHECK(KalDornGetDownloadVersionListForUpdateManagerExW(products[i], wdir("client52"), wdir("source"), &w,
                                                               &err) == 0);
        CHECK(err == 0 && w == NULL);
    }
    CHECK(KalDornFreeDownloadVersionListExW(NULL) == 0);
    CHECK(KalDornFreeDownloadVersionListExA(NULL) == 0);
    CHECK(KaldornFreeFileListFromOprIdForUpdateManagerW(NULL) == 0);
    CHECK(KaldornFreeFileListFromOprIdForUpdateManagerA(NULL) == 0);
}

static void client_versions(void) {
    KAL_DORN_VERSION_LIST plain;
    KAL_DORN_VERSION_LISTEXW w;
    KAL_DORN_VERSION_LISTEXA a;
    unsigned int err = 99;
    unsigned short name[KALDORN_MAX_PATH];
    char narrowed[KALDORN_MAX_PATH];

    CHECK(KalDornGetCurrentClientVersionForUpdateManagerW(wdir("client52"), &plain, &err) == 1 && err == 0);
    CHECK(plain.stInfo.dwMajorVersion == 5 && plain.stInfo.dwMinorVersion == 2 && plain.stInfo.dwUpdateType == 101);

    memset(&w, 0x5A, sizeof w);
    CHECK(KalDornGetCurrentClientVersionForUpdateManagerExW(1, wdir("client381"), &w, &err) == 1);
    memcpy(name, (const char*)&w + 1 + 12, sizeof name);
    narrow(name, narrowed);
    CHECK(strcmp(narrowed, "iu038101.dat") == 0);
    CHECK(w.stInfo.dwMajorVersion == 381 && w.stInfo.dwMinorVersion == 1 && w.stInfo.dwUpdateType == 101);
    CHECK(w.stInfo.dwFlag == 0 && w.stInfo.dwKind == 0 && w.stInfo.dwReserved == 0);
    CHECK(w.uchFlag == 0x5A && w.pNext == (KAL_DORN_VERSION_LISTEXW*)0x5A5A5A5A5A5A5A5AULL);

    CHECK(KalDornGetCurrentClientVersionForUpdateManagerExA(3, dir("client52"), &a, &err) == 1);
    CHECK(strcmp(a.stInfo.szFileName, "eu000502.dat") == 0);
    CHECK(KalDornGetCurrentClientVersionForUpdateManagerExA(1, dir("empty"), &a, &err) == 0 && err == 1007);
    CHECK(KalDornGetCurrentClientVersionForUpdateManagerExA(2, dir("client52"), &a, &err) == 0 && err == 0);
}

static const char* files_text(const KAL_DORN_FILE_INFO_LISTA* l, unsigned int flag) {
    static char out[2048];
    size_t n = 0;
    out[0] = '\0';
    for (; l != NULL; l = l->pNext) {
        CHECK(l->dwFlag == flag && l->dwKind == 0);
        n += (size_t)snprintf(out + n, sizeof out - n, "%s%s", n ? " " : "", l->szFileName);
    }
    return out;
}

/* "name:flag/kind" per node of an A or W file-name list. */
static const char* files_text_any(const KAL_DORN_FILE_INFO_LISTA* a, const KAL_DORN_FILE_INFO_LISTW* w) {
    static char out[2048];
    size_t n = 0;
    out[0] = '\0';
    for (; a != NULL; a = a->pNext)
        n += (size_t)snprintf(out + n, sizeof out - n, "%s%s:%u/%u", n ? " " : "", a->szFileName, a->dwFlag, a->dwKind);
    for (; w != NULL; w = w->pNext) {
        unsigned short name[KALDORN_MAX_PATH];
        char narrowed[KALDORN_MAX_PATH];
        memcpy(name, w, sizeof name);
        narrow(name, narrowed);
        n += (size_t)snprintf(out + n, sizeof out - n, "%s%s:%u/%u", n ? " " : "", narrowed, w->dwFlag, w->dwKind);
    }
    return out;
}

static void operation_ids(void) {
    KAL_DORN_FILE_INFO_LISTA* a = NULL;
    KAL_DORN_FILE_INFO_LISTW* w = NULL;
    unsigned int err = 99;
    CHECK(KaldornGetFileListFromOprIdForUpdateManagerA(1, 2, dir("source"), dir("empty"), dir("client52"), &a, &err) ==
          1);
    EXPECT_TEXT(files_text(a, 1),
                "iu000503_weekly.dat iu000601.dat iu000602.dat iu000603_monthly.dat iu000701.dat iu000702.dat "
                "iu000703_weekly.dat iu000801.dat iu000802.dat");
    CHECK(KaldornFreeFileListFromOprIdForUpdateManagerA(a) == 1);
    CHECK(KaldornGetFileListFromOprIdForUpdateManagerA(3, 1, dir("source"), dir("empty"), dir("client52"), &a, &err) ==
          1);
    EXPECT_TEXT(files_text(a, 1),
                "eu000101.dat eu000102.dat eu000103_weekly.dat eu000201.dat eu000202.dat eu000203_weekly.dat "
                "eu000301.dat eu000302.dat eu000401.dat eu000402.dat");
    KaldornFreeFileListFromOprIdForUpdateManagerA(a);
    CHECK(KaldornGetFileListFromOprIdForUpdateManagerW(1, 0, wdir("source"), wdir("empty"), wdir("client52"), &w,
                                                       &err) == 1);
    CHECK(w == NULL && err == 0);
    CHECK(KaldornGetFileListFromOprIdForUpdateManagerW(1, 2, wdir("source"), wdir("empty"), wdir("source"), &w,
                                                       &err) == 1);
    CHECK(w == NULL && err == 1004);
    CHECK(KaldornGetFileListFromOprIdForUpdateManagerW(1, 1, wdir("source"), wdir("empty"), wdir("client52"), &w,
                                                       &err) == 1);
    CHECK(w != NULL && w->dwFlag == 1);
    CHECK(KaldornFreeFileListFromOprIdForUpdateManagerW(w) == 1);
    err = 99;
    CHECK(KaldornGetFileListFromOprIdForUpdateManagerW(1, 2, wdir("source"), NULL, wdir("client52"), &w, &err) == 0);
    CHECK(err == 99);
}

/* Solo products: "name:flag/kind" per node of an A or W extended list. */
static const char* solo_text(const KAL_DORN_VERSION_LISTEXA* a, const KAL_DORN_VERSION_LISTEXW* w) {
    static char out[2048];
    size_t n = 0;
    out[0] = '\0';
    for (; a != NULL; a = a->pNext)
        n += (size_t)snprintf(out + n, sizeof out - n, "%s%s:%u/%u", n ? " " : "", a->stInfo.szFileName,
                              a->stInfo.dwFlag, a->stInfo.dwKind);
    for (; w != NULL; w = w->pNext) {
        unsigned short name[KALDORN_MAX_PATH];
        char narrowed[KALDORN_MAX_PATH];
        memcpy(name, (const char*)w + 1 + 12, sizeof name);
        narrow(name, narrowed);
        n += (size_t)snprintf(out + n, sizeof out - n, "%s%s:%u/%u", n ? " " : "", narrowed, w->stInfo.dwFlag,
                              w->stInfo.dwKind);
    }
    return out;
}

/* "%08x_%08x.dat:flag/kind" for each (id, flag, kind) triple. */
static const char* solo_expected(unsigned int product, const unsigned int* triples, size_t count) {
    static char out[1024];
    size_t i, n = 0;
    out[0] = '\0';
    for (i = 0; i < count; ++i)
        n += (size_t)snprintf(out + n, sizeof out - n, "%s%08x_%08x.dat:%u/%u", i ? " " : "", product,
                              triples[3 * i], triples[3 * i + 1], triples[3 * i + 2]);
    return out;
}

static void solo_downloads(unsigned int product) {
    static const unsigned int changed[] = {2, 0, 1, 5, 0, 1, 6, 0, 1};
    static const unsigned int repaired[] = {2, 0, 1, 5, 0, 1, 6, 0, 1, 7, 1, 0};
    static const unsigned int worked[] = {1, 0, 1, 2, 0, 1, 3, 0, 1};
    KAL_DORN_VERSION_LISTEXW* w = NULL;
    KAL_DORN_VERSION_LISTEXA* a = NULL;
    unsigned int err = 99;
    const char* expected = solo_expected(product, changed, 3);

    if (product != 778) {
        CHECK(KalDornGetDownloadVersionListForUpdateManagerExW(product, wdir("solo/client"), wdir("solo/source"), &w,
                                                               &err) == 1 && err == 0);
        EXPECT_TEXT(solo_text(NULL, w), expected);
        CHECK(KalDornFreeDownloadVersionListExW(w) == 1);
        CHECK(KalDornGetDownloadVersionListForUpdateManagerEx2A(product, dir("solo/client"), dir("solo/source"), &a,
                                                                &err) == 1);
        EXPECT_TEXT(solo_text(a, NULL), expected);
        CHECK(KalDornFreeDownloadVersionListExA(a) == 1);
        /* The update-file directory is not used, but the W function converts it. */
        CHECK(KalDornGetDownloadVersionListForPathExA(product, dir("solo/client"), dir("solo/source"), dir("nowhere"),
                                                      &a, &err) == 1);
        EXPECT_TEXT(solo_text(a, NULL), expected);
        KalDornFreeDownloadVersionListExA(a);
        CHECK(KalDornGetDownloadVersionListForPathExW(product, wdir("solo/client"), wdir("solo/source"), NULL, &w,
                                                      &err) == 0 && err == 1007);
        /* A client without an index fetches every active definition. */
        CHECK(KalDornGetDownloadVersionListForUpdateManagerExW(product, wdir("solo/empty"), wdir("solo/source123"), &w,
                                                               &err) == 1);
        EXPECT_TEXT(solo_text(NULL, w), solo_expected(product, worked, 3));
        KalDornFreeDownloadVersionListExW(w);
        w = (KAL_DORN_VERSION_LISTEXW*)&err;
        CHECK(KalDornGetDownloadVersionListForUpdateManagerExW(product, wdir("solo/empty"), wdir("solo/source9"), &w,
                                                               &err) == 0 && err == 1007 && w == NULL);
    } else {
        CHECK(KalDornGetDownloadVersionListForUpdateManagerExW(product, wdir("solo/client"), wdir("solo/source"), &w,
                                                               &err) == 0 && err == 0 && w == NULL);
    }
    /* Internet: the components that are missing or damaged come along. */
    expected = solo_expected(product, repaired, 4);
    CHECK(KalDornGetDownloadVersionListForInternetExW(product, wdir("solo/client"), wdir("solo/source"), &w, &err) ==
          1 && err == 0);
    EXPECT_TEXT(solo_text(NULL, w), expected);
    KalDornFreeDownloadVersionListExW(w);
    CHECK(KalDornGetDownloadVersionListForInternetExA(product, dir("solo/client/"), dir("solo/source/"), &a, &err) ==
          1);
    EXPECT_TEXT(solo_text(a, NULL), expected);
    KalDornFreeDownloadVersionListExA(a);
    a = (KAL_DORN_VERSION_LISTEXA*)&err;
    CHECK(KalDornGetDownloadVersionListForInternetExA(product, dir("solo/source"), dir("solo/source"), &a, &err) == 1);
    CHECK(err == 1004 && a == NULL);
}

static void solo_client_and_operations(unsigned int product) {
    static const unsigned int op0[] = {5, 1, 1};
    static const unsigned int op1[] = {2, 0, 0};
    static const unsigned int op2[] = {2, 0, 2, 5, 0, 2, 6, 1, 0};
    KAL_DORN_VERSION_LISTEXW w;
    KAL_DORN_VERSION_LISTEXA a;
    KAL_DORN_FILE_INFO_LISTA* la = NULL;
    KAL_DORN_FILE_INFO_LISTW* lw = NULL;
    unsigned int err = 99;
    char expected[64];

    memset(&w, 0x5A, sizeof w);
    CHECK(KalDornGetCurrentClientVersionForUpdateManagerExW(product, wdir("solo/client"), &w, &err) == 1 && err == 0);
    w.pNext = NULL;
    snprintf(expected, sizeof expected, "%08x_0000001a.dat:1/0", product);
    EXPECT_TEXT(solo_text(NULL, &w), expected);
    CHECK(w.stInfo.dwMajorVersion == product && w.stInfo.dwMinorVersion == 26 && w.uchFlag == 0x5A);
    CHECK(KalDornGetCurrentClientVersionForUpdateManagerExA(product, dir("solo/client"), &a, &err) == 1);
    CHECK(strncmp(a.stInfo.szFileName, expected, 21) == 0 && a.stInfo.szFileName[21] == '\0' && a.stInfo.dwFlag == 1);
    CHECK(KalDornGetCurrentClientVersionForUpdateManagerExA(product, dir("solo/empty"), &a, &err) == 0 && err == 1007);

    /* The caller's operation id reaches the solo planner. */
    CHECK(KaldornGetFileListFromOprIdForUpdateManagerA(product, 1, dir("solo/source"), dir("solo/reference"),
                                                       dir("solo/client"), &la, &err) == 1 && err == 0);
    EXPECT_TEXT(files_text_any(la, NULL), solo_expected(product, op1, 1));
    KaldornFreeFileListFromOprIdForUpdateManagerA(la);
    CHECK(KaldornGetFileListFromOprIdForUpdateManagerW(product, 0, wdir("solo/source"), wdir("solo/reference"),
                                                       wdir("solo/client"), &lw, &err) == 1);
    EXPECT_TEXT(files_text_any(NULL, lw), solo_expected(product, op0, 1));
    KaldornFreeFileListFromOprIdForUpdateManagerW(lw);
    CHECK(KaldornGetFileListFromOprIdForUpdateManagerW(product, 2, wdir("solo/source"), wdir("solo/reference"),
                                                       wdir("solo/client"), &lw, &err) == 1);
    EXPECT_TEXT(files_text_any(NULL, lw), solo_expected(product, op2, 3));
    KaldornFreeFileListFromOprIdForUpdateManagerW(lw);
    CHECK(KaldornGetFileListFromOprIdForUpdateManagerA(product, 3, dir("solo/source"), dir("solo/reference"),
                                                       dir("solo/client"), &la, &err) == 0 && err == 0 && la == NULL);
}

int main(int argc, char** argv) {
    if (argc != 2 || strlen(argv[1]) > 150) {
        fprintf(stderr, "usage: c_host FIXTURE_DIR\n");
        return 2;
    }
    strcpy(root, argv[1]);
    plain_functions();
    extended_functions(1, "iu");
    extended_functions(3, "eu");
    unserved_products();
    client_versions();
    operation_ids();
    solo_downloads(4);
    solo_downloads(5);
    solo_downloads(778);
    solo_client_and_operations(4);
    solo_client_and_operations(5);
    if (failures == 0) printf("c_host: every check held\n");
    return failures == 0 ? 0 : 1;
}
