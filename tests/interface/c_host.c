/* A host in C (the public header only, linked against kaldorn.so) asks the entry points a table of questions in
 * both string widths, for each product a row names, then with each pointer argument null; it renders every list.
 * (A missing directory alone: the sweeps over the file calls.) */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "kaldorn.h"

static int failures;
static char root[200], got[4096], prefix[16]; /* fixtures; a call's rendering; the product's file-name prefix */
static char long_name[281];                    /* a directory no string buffer of 260 holds */
static size_t used;

#define CHECK(cond) ((cond) ? (void)0 : (void)(fprintf(stderr, "c_host.c:%d: %s\n", __LINE__, #cond), ++failures))

/* P_: the entry points without a product argument. */
enum query { P_INTERNET, P_MANAGER, P_PATH, P_CLIENT, INTERNET, MANAGER, MANAGER2, PATH, CLIENT, OPRID };

/* A plain node shows as "D5.2", any other as its name, then ":flag/kind" unless both are 0, then "@" and the third
 * byte of a solo definition's date. "*" stands for the product's file-name prefix ("iu", "eu" or "%08x_"); "..."
 * ends a prefix of the text. */
struct row {
    int line, query;
    unsigned int products[4], op;        /* a 0 after the first product ends the list */
    const char *client, *source, *third; /* third: the update or the reference directory */
    int result;
    unsigned int err;
    const char* text;
};

#define ROW(...) {__LINE__, __VA_ARGS__}
#define CHANGED "*00000002.dat:0/1@2 *00000005.dat:0/1@2 *00000006.dat:0/1@1"

static const struct row rows[] = {
    /* Product 1: everything after the client, the 2012 internet rule's choice, the newest files present. */
    ROW(P_INTERNET, {1}, 0, "client52", "source", NULL, 1, 0, "W5.3 W7.3 D8.1 D8.2"),
    ROW(P_MANAGER, {1}, 0, "client41", "source", NULL, 1, 0, "D4.2 W4.3 D5.1 ..."),
    ROW(P_PATH, {1}, 0, "client41", "source/", "updates/", 1, 0, "X6.3 W7.3 D8.1 D8.2"),
    ROW(P_INTERNET, {1}, 0, long_name, "source", NULL, 0, 1007, ""),
    ROW(P_CLIENT, {1}, 0, "client52", NULL, NULL, 1, 0, "D5.2"),
    /* Products 1 and 3. Ex2 keeps a window; a client without a readable index is at 1.0. */
    ROW(INTERNET, {1, 3}, 0, "client52", "source", NULL, 1, 0,
        "*000503_weekly.dat *000703_weekly.dat *000801.dat *000802.dat"),
    ROW(INTERNET, {1, 3}, 0, "nowhere", "source", NULL, 1, 0, "*000303_monthly.dat *000603_monthly.dat ..."),
    ROW(MANAGER, {1, 3}, 0, "client41", "source", NULL, 1, 0, "*000402.dat *000403_weekly.dat ..."),
    ROW(MANAGER2, {1, 3}, 0, "client41", "source", NULL, 1, 0, "*000403_weekly.dat *000501.dat ..."),
    ROW(PATH, {1, 3}, 0, "client41", "source", "updates/", 1, 0, "*000603_monthly.dat *000703_weekly.dat ..."),
    ROW(MANAGER2, {1, 3}, 0, "client83/", "source", NULL, 1, 1003, ""),
    ROW(INTERNET, {1, 3}, 0, "source", "source91", NULL, 1, 1006, ""),
    ROW(PATH, {1, 3}, 0, "client45", "source", "updates", 0, 1005, ""),
    ROW(MANAGER, {0, 2, 6, 778}, 0, "client52", "source", NULL, 0, 0, ""),
    ROW(INTERNET, {2, 777, 788}, 0, "solo/client", "solo/source", NULL, 0, 0, ""),
    /* A directory that cannot be converted or joined is 1007. */
    ROW(INTERNET, {1, 4}, 0, long_name, "source", NULL, 0, 1007, ""),
    ROW(MANAGER, {1, 4}, 0, long_name, "source", NULL, 0, 1007, ""),
    ROW(PATH, {1}, 0, "client41", "source", long_name, 0, 1007, ""),
    ROW(CLIENT, {1, 4}, 0, long_name, NULL, NULL, 0, 1007, ""),
    ROW(OPRID, {1, 4}, 1, long_name, "source", "nowhere", 0, 1007, ""),
    /* Clients at 381.1 and 386.26 get dwFlag 1 on every record of product 1. */
    ROW(MANAGER, {1}, 0, "client381", "flagged", NULL, 1, 0, "*038102_weekly.dat:1/0 *038201_weekly.dat:1/0 ..."),
    ROW(MANAGER, {3}, 0, "client381", "flagged", NULL, 1, 0, "*038102_weekly.dat *038201_weekly.dat ..."),
    ROW(INTERNET, {1}, 0, "client386", "flagged", NULL, 1, 0, "*038627.dat:1/0 *038628.dat:1/0"),
    ROW(CLIENT, {1, 3}, 0, "client\xE9", NULL, NULL, 1, 0, "*000502.dat"),
    ROW(CLIENT, {0, 2, 6}, 0, "client52", NULL, NULL, 0, 0, ""),
    /* Operation ids 2 fetch, 1 delete, 0 nothing; without a client index only 1 answers, from 1.0. */
    ROW(OPRID, {1, 3}, 2, "client41", "source", "nowhere", 1, 0, "*000403_weekly.dat:1/0 *000501.dat:1/0 ..."),
    ROW(OPRID, {1, 3}, 1, "client52", "source", "nowhere", 1, 0, "*000101.dat:1/0 *000102.dat:1/0 ..."),
    ROW(OPRID, {1, 3}, 1, "nowhere", "source", "nowhere", 1, 0, "*000101.dat:1/0 *000102.dat:1/0 ..."),
    ROW(OPRID, {1, 3}, 2, "nowhere", "source", "nowhere", 1, 0, ""),
    ROW(OPRID, {1, 3}, 1, "client52", "nowhere", "nowhere", 1, 0, ""),
    ROW(OPRID, {1, 3}, 0, "client52", "source", "nowhere", 1, 0, ""),
    ROW(OPRID, {1, 3}, 2, "source", "source", "nowhere", 1, 1004, ""),
    ROW(OPRID, {1, 3}, 1, "client45", "source", "nowhere", 0, 1005, ""),
    ROW(OPRID, {1, 3}, 7, "client52", "source", "nowhere", 0, 0, ""),
    ROW(OPRID, {0, 2, 6}, 1, "client52", "source", "nowhere", 0, 0, ""),
    /* Solo: the changed definitions; without a client index all, if the one stamped current is among them. */
    ROW(MANAGER, {4, 5}, 0, "solo/client", "solo/source", NULL, 1, 0, CHANGED),
    ROW(PATH, {4, 5}, 0, "solo/client", "solo/source", "nowhere", 1, 0, CHANGED),
    ROW(MANAGER, {4, 5}, 0, "solo/badlist", "solo/source", NULL, 1, 0, CHANGED),
    ROW(MANAGER, {4, 5}, 0, "solo/nowhere", "solo/source123", NULL, 1, 0,
        "*00000001.dat:0/1@1 *00000002.dat:0/1@1 ..."),
    ROW(MANAGER, {4, 5}, 0, "solo/nowhere", "solo/source9", NULL, 0, 1007, ""),
    ROW(MANAGER, {4, 5}, 0, "solo/reference", "solo/source", NULL, 1, 1003, ""),
    ROW(MANAGER, {4, 5}, 0, "solo/same", "solo/source123", NULL, 1, 1006, ""),
    /* The internet also repairs missing or damaged components; a failing step of that is 1007. */
    ROW(INTERNET, {4, 5, 778, 787}, 0, "solo/client/", "solo/source", NULL, 1, 0, CHANGED " *00000007.dat:1/0"),
    ROW(INTERNET, {4, 5}, 0, "solo/badlist", "solo/source", NULL, 0, 1007, ""),
    ROW(INTERNET, {4, 5}, 0, "solo/nosibling", "solo/source", NULL, 0, 1007, ""),
    ROW(INTERNET, {4, 5}, 0, "solo/stray", "solo/source", NULL, 0, 1007, ""),
    ROW(CLIENT, {4, 5}, 0, "solo/client", NULL, NULL, 1, 0, "*0000001a.dat:1/0"),
    /* The caller's operation id reaches the solo planner; 1 leaves out what the reference re-dates. */
    ROW(OPRID, {4, 5}, 1, "solo/client", "solo/source", "solo/reference", 1, 0, "*00000002.dat"),
    ROW(OPRID, {4, 5}, 1, "solo/client", "solo/source", "solo/refboth", 1, 0, ""),
    ROW(OPRID, {4, 5}, 1, "solo/client", "solo/source", "solo/ref2", 1, 0, "*00000002.dat *00000005.dat"),
    ROW(OPRID, {4, 5}, 1, "solo/client", "solo/source", "solo/nowhere", 0, 0, ""),
    ROW(OPRID, {4, 5}, 0, "solo/client", "solo/source", "solo/reference", 1, 0, "*00000005.dat:1/1"),
    ROW(OPRID, {4, 5}, 2, "solo/client", "solo/source", "solo/reference", 1, 0,
        "*00000002.dat:0/2 *00000005.dat:0/2 *00000006.dat:1/0"),
    ROW(OPRID, {4, 5}, 2, "solo/client", "solo/nowhere", "solo/reference", 1, 0, ""),
    ROW(OPRID, {4, 5}, 3, "solo/client", "solo/source", "solo/reference", 0, 0, ""),
};

static void add(const char* format, ...) { /* each item starts with a space */
    va_list args;
    va_start(args, format);
    if (used < sizeof got) used += (size_t)vsnprintf(got + used, sizeof got - used, format, args);
    va_end(args);
}

/* name: 8-bit, or (wide) 16-bit at any address; zero: dwReserved, or'ed with an extended node's mark. */
static void record(const void* name, int wide, unsigned flag, unsigned kind, unsigned date, unsigned zero) {
    char s[KALDORN_MAX_PATH] = "";
    unsigned short w[KALDORN_MAX_PATH];
    size_t i, n;
    memcpy(w, name, wide ? sizeof w : 0);
    for (i = 0; i < KALDORN_MAX_PATH - 1 && (wide ? w[i] : ((const char*)name)[i]) != 0; ++i)
        s[i] = wide ? (char)w[i] : ((const char*)name)[i];
    s[i] = '\0';
    n = strncmp(s, prefix, strlen(prefix)) == 0 ? strlen(prefix) : 0;
    CHECK(zero == 0);
    add(" %s%s", n != 0 ? "*" : "", s + n);
    if (flag != 0 || kind != 0) add(":%u/%u", flag, kind);
    if (date != 0) add("@%u", (date >> 16) & 0xFF);
}

/* root/name in out and, widened unit by unit (0xE9 to 0x00E9), in wout; null for no name or when nulled. */
static const char* path(char* out, unsigned short* wout, const unsigned short** w, const char* name, int nulled) {
    size_t i;
    *w = NULL;
    if (name == NULL || nulled) return NULL;
    snprintf(out, 300, "%s/%s", root, name);
    for (i = 0; i == 0 || out[i - 1] != '\0'; ++i) wout[i] = (unsigned char)out[i];
    *w = wout;
    return out;
}

/* A row's call for product p in 8 (wide 0) or 16 bits, pointer argument `nulled` null (1 client, 2 source, 3 third,
 * 4 result, 5 error code), its list rendered into got and freed. A failure hands out nothing: the result stays, or
 * is null once a code is written. -1: no such form. */
static int call(const struct row* r, unsigned int p, int wide, int nulled, unsigned int* err) {
    union { KAL_DORN_VERSION_LIST* pl; KAL_DORN_VERSION_LISTEXA* xa; KAL_DORN_VERSION_LISTEXW* xw;
            KAL_DORN_FILE_INFO_LISTA* fa; KAL_DORN_FILE_INFO_LISTW* fw; void* any; } u;
    KAL_DORN_VERSION_LIST node, *pl;
    KAL_DORN_VERSION_LISTEXA node_a, *xa;
    KAL_DORN_VERSION_LISTEXW node_w, *xw;
    KAL_DORN_FILE_INFO_LISTA* fa;
    KAL_DORN_FILE_INFO_LISTW* fw;
    char cb[300], sb[300], tb[300];
    unsigned short wcb[300], wsb[300], wtb[300];
    const unsigned short *wc, *ws, *wt;
    const char *c = path(cb, wcb, &wc, r->client, nulled == 1), *s = path(sb, wsb, &ws, r->source, nulled == 2);
    const char* t = path(tb, wtb, &wt, r->third, nulled == 3);
    unsigned int* e = nulled == 5 ? NULL : err;
    int ok, kind = r->query <= P_CLIENT ? 0 : r->query == OPRID ? 3 + wide : 1 + wide, client = 0;
    void* const unset = (void*)0x5A5A5A5A5A5A5A5AULL;
#define OUT(member) (nulled == 4 ? NULL : &u.member)
#define NODE(n) (nulled == 4 ? NULL : &n)
    u.any = &failures;
    memset(&node, 0x5A, sizeof node);
    memset(&node_a, 0x5A, sizeof node_a);
    memset(&node_w, 0x5A, sizeof node_w);
    used = 0, got[0] = got[1] = '\0';
    switch (r->query * 2 + wide) {
    case P_INTERNET * 2: ok = KalDornGetDownloadVersionListForInternetA(c, s, OUT(pl), e); break;
    case P_INTERNET * 2 + 1: ok = KalDornGetDownloadVersionListForInternet(c, s, OUT(pl), e); break;
    case P_MANAGER * 2 + 1: ok = KalDornGetDownloadVersionListForUpdateManagerW(wc, ws, OUT(pl), e); break;
    case P_PATH * 2: ok = KalDornGetDownloadVersionListForPathA(c, s, t, OUT(pl), e); break;
    case P_PATH * 2 + 1: ok = KalDornGetDownloadVersionListForPath(c, s, t, OUT(pl), e); break;
    case P_CLIENT * 2 + 1: ok = KalDornGetCurrentClientVersionForUpdateManagerW(wc, NODE(node), e); break;
    case INTERNET * 2: ok = KalDornGetDownloadVersionListForInternetExA(p, c, s, OUT(xa), e); break;
    case INTERNET * 2 + 1: ok = KalDornGetDownloadVersionListForInternetExW(p, wc, ws, OUT(xw), e); break;
    case MANAGER * 2: ok = KalDornGetDownloadVersionListForUpdateManagerExA(p, c, s, OUT(xa), e); break;
    case MANAGER * 2 + 1: ok = KalDornGetDownloadVersionListForUpdateManagerExW(p, wc, ws, OUT(xw), e); break;
    case MANAGER2 * 2: ok = KalDornGetDownloadVersionListForUpdateManagerEx2A(p, c, s, OUT(xa), e); break;
    case MANAGER2 * 2 + 1: ok = KalDornGetDownloadVersionListForUpdateManagerEx2W(p, wc, ws, OUT(xw), e); break;
    case PATH * 2: ok = KalDornGetDownloadVersionListForPathExA(p, c, s, t, OUT(xa), e); break;
    case PATH * 2 + 1: ok = KalDornGetDownloadVersionListForPathExW(p, wc, ws, wt, OUT(xw), e); break;
    case CLIENT * 2: ok = KalDornGetCurrentClientVersionForUpdateManagerExA(p, c, NODE(node_a), e); break;
    case CLIENT * 2 + 1: ok = KalDornGetCurrentClientVersionForUpdateManagerExW(p, wc, NODE(node_w), e); break;
    case OPRID * 2: ok = KaldornGetFileListFromOprIdForUpdateManagerA(p, r->op, s, t, c, OUT(fa), e); break;
    case OPRID * 2 + 1: ok = KaldornGetFileListFromOprIdForUpdateManagerW(p, r->op, ws, wt, wc, OUT(fw), e); break;
    default: return -1;
    }
    if (r->query == P_CLIENT || r->query == CLIENT) { /* the plain node is written whole, else only stInfo */
        CHECK(node_a.uchFlag == 0x5A && (void*)node_a.pNext == unset);
        CHECK(node_w.uchFlag == 0x5A && (void*)node_w.pNext == unset);
        CHECK(ok == 1 && r->query == P_CLIENT ? node.uchFlag == 0 && node.pNext == NULL : node.uchFlag == 0x5A);
        node_a.uchFlag = node_w.uchFlag = 0, node_a.pNext = NULL, node_w.pNext = NULL, client = 1;
        u.any = ok != 1 ? NULL : r->query == P_CLIENT ? (void*)&node : wide ? (void*)&node_w : (void*)&node_a;
    } else if (ok != 1 || u.any == NULL || u.any == &failures) {
        CHECK(u.any == &failures || (u.any == NULL && *err != 99));
        return ok;
    }
    for (pl = kind == 0 ? u.pl : NULL; pl != NULL; pl = pl->pNext) /* 101 D, 102 W, 104 X */
        add(" %c%u.%u", pl->stInfo.dwUpdateType - 100 < 5 ? "?DW?X"[pl->stInfo.dwUpdateType - 100] : '?',
            pl->stInfo.dwMajorVersion, pl->stInfo.dwMinorVersion);
    for (xa = kind == 1 ? u.xa : NULL; xa != NULL; xa = xa->pNext)
        record(xa->stInfo.szFileName, 0, xa->stInfo.dwFlag, xa->stInfo.dwKind, xa->stInfo.stDefDate.dwPart1,
               xa->stInfo.dwReserved | xa->uchFlag);
    for (xw = kind == 2 ? u.xw : NULL; xw != NULL; xw = xw->pNext)
        record((const char*)xw + 13, 1, xw->stInfo.dwFlag, xw->stInfo.dwKind, xw->stInfo.stDefDate.dwPart1,
               xw->stInfo.dwReserved | xw->uchFlag);
    for (fa = kind == 3 ? u.fa : NULL; fa != NULL; fa = fa->pNext)
        record(fa->szFileName, 0, fa->dwFlag, fa->dwKind, 0, fa->dwReserved);
    for (fw = kind == 4 ? u.fw : NULL; fw != NULL; fw = fw->pNext)
        record(fw, 1, fw->dwFlag, fw->dwKind, 0, fw->dwReserved);
    CHECK(client || (r->query == P_INTERNET ? KalDornFreeDownloadVersionListForInternet(u.pl)
                     : r->query == P_MANAGER ? KalDornFreeDownloadVersionListForUpdateManager(u.pl)
                     : r->query == P_PATH ? KalDornFreeDownloadVersionListForPath(u.pl)
                     : kind == 1 ? KalDornFreeDownloadVersionListExA(u.xa)
                     : kind == 2 ? KalDornFreeDownloadVersionListExW(u.xw)
                     : kind == 3 ? KaldornFreeFileListFromOprIdForUpdateManagerA(u.fa)
                                 : KaldornFreeFileListFromOprIdForUpdateManagerW(u.fw)) == 1);
    return ok;
}

/* Each product, each form, then each pointer argument null: 0 and the code untouched, but for an update directory
 * that the plain path functions leave to their driver (0) and the 16-bit extended one converts (1007). */
static void run(const struct row* r) {
    int i, wide, nulled, ok;
    for (i = 0; i < 4 && (i == 0 || r->products[i] != 0); ++i) {
        unsigned int p = r->products[i];
        snprintf(prefix, sizeof prefix, p == 1 ? "iu" : p == 3 ? "eu" : "%08x_", p);
        for (wide = 0; wide < 2; ++wide)
            for (nulled = 0; nulled <= 5; ++nulled) {
                const char* want = nulled == 0 ? r->text : "";
                size_t n = strlen(want) >= 3 && strcmp(want + strlen(want) - 3, "...") == 0 ? strlen(want) - 3 : 4096;
                unsigned int err = 99, want_err = nulled == 0 ? r->err : nulled != 3 ? 99
                                                  : r->query == P_PATH ? 0 : r->query == PATH && wide ? 1007 : 99;
                if ((nulled == 2 && r->source == NULL) || (nulled == 3 && r->third == NULL)) continue;
                ok = call(r, p, wide, nulled, &err);
                if (ok == -1 || (ok == (nulled == 0 ? r->result : 0) && err == want_err && !strncmp(got + 1, want, n)))
                    continue;
                fprintf(stderr, "c_host.c:%d: product %u, %d-bit, argument %d null: %d/%u \"%s\", not %d/%u \"%s\"\n",
                        r->line, p, wide ? 16 : 8, nulled, ok, err, got + 1, nulled ? 0 : r->result, want_err, want);
                ++failures;
            }
    }
}

int main(int argc, char** argv) {
    size_t i;
    if (argc != 2 || strlen(argv[1]) > 150) return fprintf(stderr, "usage: c_host FIXTURE_DIR\n"), 2;
    strcpy(root, argv[1]);
    memset(long_name, 'x', sizeof long_name - 1);
    for (i = 0; i < sizeof rows / sizeof rows[0]; ++i) run(&rows[i]);
    CHECK(KalDornFreeDownloadVersionListForInternet(NULL) == 0);
    CHECK(KalDornFreeDownloadVersionListForPath(NULL) == 0);
    CHECK(KalDornFreeDownloadVersionListForUpdateManager(NULL) == 0);
    CHECK(KalDornFreeDownloadVersionListExW(NULL) == 0);
    CHECK(KalDornFreeDownloadVersionListExA(NULL) == 0);
    CHECK(KaldornFreeFileListFromOprIdForUpdateManagerW(NULL) == 0);
    CHECK(KaldornFreeFileListFromOprIdForUpdateManagerA(NULL) == 0);
    return failures == 0 ? printf("c_host: every check held\n"), 0 : 1;
}
