/*
 * verify_release: a host that trusts an update source only through its signed release. It opens the release of
 * SOURCE against the trusted public keys, for SOURCE_ID, keeping its state in STATE_DIR, then checks a downloaded
 * file (its name in the release, and where it was downloaded) before it would install it; with NAME "-",
 * DOWNLOADED is a download directory, and every listed file in it is checked at once.
 *
 *   verify_release SOURCE SOURCE_ID STATE_DIR NAME|- DOWNLOADED KEY.pub...
 *
 * Exit status 0 when the release and the files verify, 1 when any is refused, 2 on a usage error.
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <kaldorn/trust.h>

/* One line per listed file the directory check finds, with its outcome. */
static void report(void* context, const char* name, const KAL_DORN_TRUST_ERROR* outcome) {
    (void)context;
    if (outcome->code == KAL_DORN_TRUST_E_NONE)
        printf("%s verified\n", name);
    else
        fprintf(stderr, "%s refused (code %d): %s\n", name, outcome->code, outcome->message);
}

int main(int argc, char** argv) {
    if (argc < 7) {
        fprintf(stderr, "usage: verify_release SOURCE SOURCE_ID STATE_DIR NAME|- DOWNLOADED KEY.pub...\n");
        return 2;
    }
    KAL_DORN_TRUST_RELEASE* release = NULL;
    KAL_DORN_TRUST_ERROR error;
    const char* const* keys = (const char* const*)(argv + 6);
    if (!KalDornTrustOpenRelease(argv[1], keys, (size_t)(argc - 6), argv[2], (int64_t)time(NULL), argv[3], &release,
                                 &error)) {
        fprintf(stderr, "release refused (code %d): %s\n", error.code, error.message);
        return 1;
    }
    printf("release %llu of %s, signed by key %s, %zu file(s) listed\n",
           (unsigned long long)KalDornTrustReleaseSerial(release), KalDornTrustReleaseSourceId(release),
           KalDornTrustReleaseKeyId(release), KalDornTrustReleaseFileCount(release));
    int ok;
    if (strcmp(argv[4], "-") == 0) {
        /* A download directory: each listed file found there, many read at once; absent ones are skipped. */
        size_t checked = 0;
        ok = KalDornTrustCheckDirectory(release, argv[5], report, NULL, &checked, &error);
        printf("%zu listed file(s) found in %s\n", checked, argv[5]);
    } else {
        ok = KalDornTrustCheckFile(release, argv[4], argv[5], &error);
        KAL_DORN_TRUST_ERROR none = {KAL_DORN_TRUST_E_NONE, ""};
        report(NULL, argv[4], ok ? &none : &error);
    }
    KalDornTrustCloseRelease(release); /* the release is the caller's */
    return ok ? 0 : 1;
}
