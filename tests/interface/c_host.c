/* A host program in C: includes only the public header, links kaldorn.so
 * and runs a table of calls to the plain entry points, each in its 8-bit and
 * 16-bit form where both exist: products 1 and 3 on the worked example (a
 * source at 8.2 with the 23-token text), the solo products 4, 5 and 778 on
 * definition indexes with an engine directory. Every list is walked,
 * rendered as text and freed. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "kaldorn.h"

static int failures;
static char root[200];

#define CHECK(cond)                                                                       \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);      \
            ++failures;                                                                   \
        }                                                                                 \
    } while (0)

enum query { P_INTERNET, P_MANAGER, P_PATH, P_CLIENT, INTERNET, MANAGER, MANAGER2, PATH, CLIENT, OPRID };
enum forms { BOTH, A_ONLY, W_ONLY };

/* One question. The expected text is written for the first product and
 * holds for the others with their file-name prefix ("iu", "eu", "%08x_");
 * a zero after the first product ends the list. Error 99: left untouched. */
struct row {
    int line;
    enum query query;
    enum forms forms;
    unsigned int products[4];
    unsigned int op;
    const char *client, *source, *third; /* third: the update or the reference directory */
    int result;
    unsigned int err;
    const char* text; /* "name:flag/kind" per node; "..." at the end: a prefix */
};

#define ROW(...) {__LINE__, __VA_ARGS__}
#define CHANGED "00000004_00000002.dat:0/1 00000004_00000005.dat:0/1 00000004_00000006.dat:0/1"
#define REPAIRED CHANGED " 00000004_00000007.dat:1/0"

static const struct row rows[] = {
    /* Product 1 through the functions without a product argument. */
    ROW(P_INTERNET, BOTH, {1}, 0, "client52", "source", NULL, 1, 0, "W5.3 W7.3 D8.1 D8.2"),
    ROW(P_MANAGER, W_ONLY, {1}, 0, "client41", "source", NULL, 1, 0,
        "D4.2 W4.3 D5.1 D5.2 W5.3 D6.1 D6.2 X6.3 D7.1 D7.2 W7.3 D8.1 D8.2"),
    ROW(P_PATH, BOTH, {1}, 0, "client41", "source/", "updates/", 1, 0, "X6.3 W7.3 D8.1 D8.2"),
    ROW(P_INTERNET, BOTH, {1}, 0, "source", "source", NULL, 1, 1004, ""),
    ROW(P_CLIENT, W_ONLY, {1}, 0, "client52", NULL, NULL, 1, 0, "D5.2"),
    /* Products 1 and 3: rule flag 0 lists everything after the client, the
     * Ex2 keep window starts at the client's weekly; the same version is
     * success with 1004 and no list. */
    ROW(INTERNET, BOTH, {1, 3}, 0, "client52", "source", NULL, 1, 0,
        "iu000503_weekly.dat:0/0 iu000703_weekly.dat:0/0 iu000801.dat:0/0 iu000802.dat:0/0"),
    ROW(MANAGER, BOTH, {1, 3}, 0, "client41", "source", NULL, 1, 0, "iu000402.dat:0/0 iu000403_weekly.dat:0/0 ..."),
    ROW(MANAGER2, BOTH, {1, 3}, 0, "client41", "source", NULL, 1, 0, "iu000403_weekly.dat:0/0 iu000501.dat:0/0 ..."),
    ROW(PATH, BOTH, {1}, 0, "client41", "source", "updates/", 1, 0,
        "iu000603_monthly.dat:0/0 iu000703_weekly.dat:0/0 iu000801.dat:0/0 iu000802.dat:0/0"),
    ROW(INTERNET, BOTH, {1, 3}, 0, "source", "source", NULL, 1, 1004, ""),
    ROW(MANAGER, BOTH, {1, 3}, 0, "source", "source", NULL, 1, 1004, ""),
    ROW(MANAGER2, BOTH, {1, 3}, 0, "source", "source", NULL, 1, 1004, ""),
    ROW(PATH, BOTH, {1, 3}, 0, "source", "source", "updates", 1, 1004, ""),
    /* Clients at 381.1 get dwFlag 1 on every record of product 1 only. */
    ROW(INTERNET, BOTH, {1}, 0, "client381", "source381", NULL, 1, 0, "iu038102.dat:1/0 iu038103.dat:1/0"),
    ROW(INTERNET, BOTH, {3}, 0, "client381", "source381", NULL, 1, 0, "eu038102.dat:0/0 eu038103.dat:0/0"),
    ROW(MANAGER, BOTH, {0, 2, 6, 778}, 0, "client52", "source", NULL, 0, 0, ""),
    ROW(CLIENT, BOTH, {1}, 0, "client381", NULL, NULL, 1, 0, "iu038101.dat:0/0 381.1/101"),
    ROW(CLIENT, BOTH, {3}, 0, "client52", NULL, NULL, 1, 0, "eu000502.dat:0/0 5.2/101"),
    ROW(CLIENT, BOTH, {1}, 0, "empty", NULL, NULL, 0, 1007, ""),
    ROW(CLIENT, BOTH, {2}, 0, "client52", NULL, NULL, 0, 0, ""),
    /* Operation ids: 2 fetch, 1 delete, 0 nothing. */
    ROW(OPRID, BOTH, {1, 3}, 2, "client52", "source", "empty", 1, 0,
        "iu000503_weekly.dat:1/0 iu000601.dat:1/0 iu000602.dat:1/0 iu000603_monthly.dat:1/0 iu000701.dat:1/0 "
        "iu000702.dat:1/0 iu000703_weekly.dat:1/0 iu000801.dat:1/0 iu000802.dat:1/0"),
    ROW(OPRID, BOTH, {1, 3}, 1, "client52", "source", "empty", 1, 0,
        "iu000101.dat:1/0 iu000102.dat:1/0 iu000103_weekly.dat:1/0 iu000201.dat:1/0 iu000202.dat:1/0 "
        "iu000203_weekly.dat:1/0 iu000301.dat:1/0 iu000302.dat:1/0 iu000401.dat:1/0 iu000402.dat:1/0"),
    ROW(OPRID, BOTH, {1}, 0, "client52", "source", "empty", 1, 0, ""),
    ROW(OPRID, BOTH, {1}, 2, "source", "source", "empty", 1, 1004, ""),
    ROW(OPRID, BOTH, {1}, 2, "client52", "source", NULL, 0, 99, ""),
    /* Solo products: the client at DAT version 1, the source at 2 with 2 and
     * 5 re-dated and 6 added; the internet brings the components that are
     * missing or damaged. The update directory is not used, but the W form
     * converts it. A client without an index fetches every active definition. */
    ROW(MANAGER, BOTH, {4, 5}, 0, "solo/client", "solo/source", NULL, 1, 0, CHANGED),
    ROW(MANAGER2, BOTH, {4, 5}, 0, "solo/client", "solo/source", NULL, 1, 0, CHANGED),
    ROW(PATH, BOTH, {4, 5}, 0, "solo/client", "solo/source", "nowhere", 1, 0, CHANGED),
    ROW(PATH, W_ONLY, {4, 5}, 0, "solo/client", "solo/source", NULL, 0, 1007, ""),
    ROW(MANAGER, BOTH, {4, 5}, 0, "solo/empty", "solo/source123", NULL, 1, 0,
        "00000004_00000001.dat:0/1 00000004_00000002.dat:0/1 00000004_00000003.dat:0/1"),
    ROW(MANAGER, BOTH, {4, 5}, 0, "solo/empty", "solo/source9", NULL, 0, 1007, ""),
    ROW(MANAGER, BOTH, {778}, 0, "solo/client", "solo/source", NULL, 0, 0, ""),
    ROW(INTERNET, BOTH, {4, 5, 778}, 0, "solo/client", "solo/source", NULL, 1, 0, REPAIRED),
    ROW(INTERNET, BOTH, {4, 5, 778}, 0, "solo/client/", "solo/source/", NULL, 1, 0, REPAIRED),
    ROW(INTERNET, BOTH, {4, 5, 778}, 0, "solo/source", "solo/source", NULL, 1, 1004, ""),
    ROW(CLIENT, BOTH, {4}, 0, "solo/client", NULL, NULL, 1, 0, "00000004_0000001a.dat:1/0 4.26/0"),
    ROW(CLIENT, BOTH, {5}, 0, "solo/client", NULL, NULL, 1, 0, "00000005_0000001a.dat:1/0 5.26/0"),
    ROW(CLIENT, BOTH, {4, 5}, 0, "solo/empty", NULL, NULL, 0, 1007, ""),
    /* The caller's operation id reaches the solo planner; the reference at 3
     * re-dates 5 again. */
    ROW(OPRID, BOTH, {4, 5}, 1, "solo/client", "solo/source", "solo/reference", 1, 0, "00000004_00000002.dat:0/0"),
    ROW(OPRID, BOTH, {4, 5}, 0, "solo/client", "solo/source", "solo/reference", 1, 0, "00000004_00000005.dat:1/1"),
    ROW(OPRID, BOTH, {4, 5}, 2, "solo/client", "solo/source", "solo/reference", 1, 0,
        "00000004_00000002.dat:0/2 00000004_00000005.dat:0/2 00000004_00000006.dat:1/0"),
    ROW(OPRID, BOTH, {4, 5}, 3, "solo/client", "solo/source", "solo/reference", 0, 0, ""),
};

/* The rendering of what one call handed out. */
static char got[4096];
static size_t used;

static void add(const char* format, ...) {
    va_list args;
    if (used != 0 && used < sizeof got - 1) got[used++] = ' ';
    va_start(args, format);
    used += (size_t)vsnprintf(got + used, sizeof got - used, format, args);
    va_end(args);
    if (used >= sizeof got) used = sizeof got - 1;
}

static char letter(unsigned int type) { return type == 101 ? 'D' : type == 102 ? 'W' : type == 104 ? 'X' : '?'; }

/* The name of a 16-bit record at p, which may sit at an odd address. */
static const char* narrow(const void* p) {
    static char out[KALDORN_MAX_PATH];
    unsigned short name[KALDORN_MAX_PATH];
    size_t i;
    memcpy(name, p, sizeof name);
    for (i = 0; name[i] != 0 && i < KALDORN_MAX_PATH - 1; ++i) out[i] = (char)name[i];
    out[i] = '\0';
    return out;
}

static void plain_list(const KAL_DORN_VERSION_LIST* l) {
    for (; l != NULL; l = l->pNext)
        add("%c%u.%u", letter(l->stInfo.dwUpdateType), l->stInfo.dwMajorVersion, l->stInfo.dwMinorVersion);
}

static void record_a(const KAL_DORN_TYPE_INFOEXA* r) {
    CHECK(r->dwReserved == 0);
    add("%s:%u/%u", r->szFileName, r->dwFlag, r->dwKind);
}

static void record_w(const KAL_DORN_TYPE_INFOEXW* r) {
    CHECK(r->dwReserved == 0);
    add("%s:%u/%u", narrow((const char*)r + 12), r->dwFlag, r->dwKind);
}

static const char* path(char* out, const char* name) {
    if (name == NULL) return NULL;
    snprintf(out, 300, "%s/%s", root, name);
    return out;
}

/* ASCII paths widen unit by unit. */
static const unsigned short* wpath(unsigned short* out, const char* name) {
    char narrow_path[300];
    size_t i;
    if (path(narrow_path, name) == NULL) return NULL;
    for (i = 0; narrow_path[i] != '\0'; ++i) out[i] = (unsigned char)narrow_path[i];
    out[i] = 0;
    return out;
}

/* Runs a row's call for product p in the 8-bit (wide 0) or 16-bit form and
 * renders into got what it handed out: a failed call or an empty list hands
 * out a null list, or leaves the caller's pointer when the error code is
 * untouched. Returns the result, -1 when the entry point has no such form. */
static int call(const struct row* r, unsigned int p, int wide, unsigned int* err) {
    void* const unset = &failures;
    KAL_DORN_VERSION_LIST *pl = unset, node;
    KAL_DORN_VERSION_LISTEXA *xa = unset, *a, node_a;
    KAL_DORN_VERSION_LISTEXW *xw = unset, *w, node_w;
    KAL_DORN_FILE_INFO_LISTA *fa = unset, *f;
    KAL_DORN_FILE_INFO_LISTW *fw = unset, *g;
    char cb[300], sb[300], tb[300];
    unsigned short wcb[300], wsb[300], wtb[300];
    const char *c = path(cb, r->client), *s = path(sb, r->source), *t = path(tb, r->third);
    const unsigned short *wc = wpath(wcb, r->client), *ws = wpath(wsb, r->source), *wt = wpath(wtb, r->third);
    const void* handed;
    int ok;
    memset(&node, 0x5A, sizeof node);
    memset(&node_a, 0x5A, sizeof node_a);
    memset(&node_w, 0x5A, sizeof node_w);
    used = 0, got[0] = '\0';
    switch (r->query * 2 + wide) {
    case P_INTERNET * 2: ok = KalDornGetDownloadVersionListForInternetA(c, s, &pl, err); break;
    case P_INTERNET * 2 + 1: ok = KalDornGetDownloadVersionListForInternet(c, s, &pl, err); break;
    case P_MANAGER * 2 + 1: ok = KalDornGetDownloadVersionListForUpdateManagerW(wc, ws, &pl, err); break;
    case P_PATH * 2: ok = KalDornGetDownloadVersionListForPathA(c, s, t, &pl, err); break;
    case P_PATH * 2 + 1: ok = KalDornGetDownloadVersionListForPath(c, s, t, &pl, err); break;
    case P_CLIENT * 2 + 1: /* the whole node: uchFlag 0, pNext null */
        ok = KalDornGetCurrentClientVersionForUpdateManagerW(wc, &node, err);
        CHECK(ok != 1 || (node.uchFlag == 0 && node.pNext == NULL));
        if (ok == 1 && node.pNext == NULL) plain_list(&node);
        return ok;
    case INTERNET * 2: ok = KalDornGetDownloadVersionListForInternetExA(p, c, s, &xa, err); break;
    case INTERNET * 2 + 1: ok = KalDornGetDownloadVersionListForInternetExW(p, wc, ws, &xw, err); break;
    case MANAGER * 2: ok = KalDornGetDownloadVersionListForUpdateManagerExA(p, c, s, &xa, err); break;
    case MANAGER * 2 + 1: ok = KalDornGetDownloadVersionListForUpdateManagerExW(p, wc, ws, &xw, err); break;
    case MANAGER2 * 2: ok = KalDornGetDownloadVersionListForUpdateManagerEx2A(p, c, s, &xa, err); break;
    case MANAGER2 * 2 + 1: ok = KalDornGetDownloadVersionListForUpdateManagerEx2W(p, wc, ws, &xw, err); break;
    case PATH * 2: ok = KalDornGetDownloadVersionListForPathExA(p, c, s, t, &xa, err); break;
    case PATH * 2 + 1: ok = KalDornGetDownloadVersionListForPathExW(p, wc, ws, wt, &xw, err); break;
    case CLIENT * 2: /* only stInfo is written */
        ok = KalDornGetCurrentClientVersionForUpdateManagerExA(p, c, &node_a, err);
        CHECK(node_a.uchFlag == 0x5A && node_a.pNext == (KAL_DORN_VERSION_LISTEXA*)0x5A5A5A5A5A5A5A5AULL);
        if (ok == 1) {
            record_a(&node_a.stInfo);
            add("%u.%u/%u", node_a.stInfo.dwMajorVersion, node_a.stInfo.dwMinorVersion, node_a.stInfo.dwUpdateType);
        }
        return ok;
    case CLIENT * 2 + 1:
        ok = KalDornGetCurrentClientVersionForUpdateManagerExW(p, wc, &node_w, err);
        CHECK(node_w.uchFlag == 0x5A && node_w.pNext == (KAL_DORN_VERSION_LISTEXW*)0x5A5A5A5A5A5A5A5AULL);
        if (ok == 1) {
            record_w(&node_w.stInfo);
            add("%u.%u/%u", node_w.stInfo.dwMajorVersion, node_w.stInfo.dwMinorVersion, node_w.stInfo.dwUpdateType);
        }
        return ok;
    case OPRID * 2: ok = KaldornGetFileListFromOprIdForUpdateManagerA(p, r->op, s, t, c, &fa, err); break;
    case OPRID * 2 + 1: ok = KaldornGetFileListFromOprIdForUpdateManagerW(p, r->op, ws, wt, wc, &fw, err); break;
    default: return -1;
    }
    handed = pl != unset   ? (void*)pl
             : xa != unset ? (void*)xa
             : xw != unset ? (void*)xw
             : fa != unset ? (void*)fa
                           : (void*)fw;
    if (ok != 1 || handed == NULL || handed == unset) {
        CHECK(handed == (*err == 99 ? unset : NULL));
        return ok;
    }
    for (a = xa != unset ? xa : NULL; a != NULL; a = a->pNext) {
        CHECK(a->uchFlag == 0);
        record_a(&a->stInfo);
    }
    for (w = xw != unset ? xw : NULL; w != NULL; w = w->pNext) {
        CHECK(w->uchFlag == 0);
        record_w(&w->stInfo);
    }
    for (f = fa != unset ? fa : NULL; f != NULL; f = f->pNext) {
        CHECK(f->dwReserved == 0);
        add("%s:%u/%u", f->szFileName, f->dwFlag, f->dwKind);
    }
    for (g = fw != unset ? fw : NULL; g != NULL; g = g->pNext) {
        CHECK(g->dwReserved == 0);
        add("%s:%u/%u", narrow(g), g->dwFlag, g->dwKind);
    }
    if (pl != unset) plain_list(pl);
    CHECK((pl != unset ? (r->query == P_PATH ? KalDornFreeDownloadVersionListForPath(pl)
                                             : KalDornFreeDownloadVersionListForInternet(pl))
           : xa != unset ? KalDornFreeDownloadVersionListExA(xa)
           : xw != unset ? KalDornFreeDownloadVersionListExW(xw)
           : fa != unset ? KaldornFreeFileListFromOprIdForUpdateManagerA(fa)
                         : KaldornFreeFileListFromOprIdForUpdateManagerW(fw)) == 1);
    return ok;
}

/* "iu", "eu" or "%08x_": how a product's file names begin. */
static const char* prefix(unsigned int product, char* out) {
    if (product == 1 || product == 3) return strcpy(out, product == 1 ? "iu" : "eu");
    snprintf(out, 16, "%08x_", product);
    return out;
}

/* The row's text for product p: the first product's prefix replaced. */
static const char* expected_for(const struct row* r, unsigned int p) {
    static char out[4096];
    char from[16], to[16];
    const char *in = r->text, *hit;
    size_t n = 0;
    prefix(r->products[0], from), prefix(p, to);
    while ((hit = strstr(in, from)) != NULL && n + (size_t)(hit - in) + strlen(to) < sizeof out) {
        n += (size_t)snprintf(out + n, sizeof out - n, "%.*s%s", (int)(hit - in), in, to);
        in = hit + strlen(from);
    }
    snprintf(out + n, sizeof out - n, "%s", in);
    return out;
}

static void run(const struct row* r) {
    int i, wide;
    for (i = 0; i < 4 && (i == 0 || r->products[i] != 0); ++i) {
        unsigned int p = r->products[i];
        const char* want = expected_for(r, p);
        size_t compared = strlen(want) >= 3 && strcmp(want + strlen(want) - 3, "...") == 0 ? strlen(want) - 3 : 4096;
        for (wide = 0; wide < 2; ++wide) {
            unsigned int err = 99;
            int ok;
            if (r->forms == (wide ? A_ONLY : W_ONLY)) continue;
            ok = call(r, p, wide, &err);
            if (ok == -1) continue;
            if (ok != r->result || err != r->err || strncmp(got, want, compared) != 0) {
                fprintf(stderr, "c_host.c:%d: product %u, %s form: result %d, error %u, \"%s\"\n"
                                "  expected result %d, error %u, \"%s\"\n",
                        r->line, p, wide ? "16-bit" : "8-bit", ok, err, got, r->result, r->err, want);
                ++failures;
            }
        }
    }
}

int main(int argc, char** argv) {
    size_t i;
    KAL_DORN_VERSION_LIST* list = NULL;
    if (argc != 2 || strlen(argv[1]) > 150) {
        fprintf(stderr, "usage: c_host FIXTURE_DIR\n");
        return 2;
    }
    strcpy(root, argv[1]);
    for (i = 0; i < sizeof rows / sizeof rows[0]; ++i) run(&rows[i]);
    CHECK(KalDornFreeDownloadVersionListForInternet(NULL) + KalDornFreeDownloadVersionListForPath(NULL) +
              KalDornFreeDownloadVersionListForUpdateManager(NULL) + KalDornFreeDownloadVersionListExW(NULL) +
              KalDornFreeDownloadVersionListExA(NULL) + KaldornFreeFileListFromOprIdForUpdateManagerW(NULL) +
              KaldornFreeFileListFromOprIdForUpdateManagerA(NULL) == 0);
    CHECK(KalDornGetDownloadVersionListForInternet(root, root, &list, NULL) == 0);
    if (failures == 0) printf("c_host: every check held\n");
    return failures == 0 ? 0 : 1;
}
