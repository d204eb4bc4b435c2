/*
 * verify_release: a host that trusts an update source only through its signed release. It opens the release of
 * SOURCE against the trusted public keys, for SOURCE_ID, keeping its state in STATE_DIR, then checks a downloaded
 * file (its name in the release, and where it was downloaded) before it would install it.
 *
 *   verify_release SOURCE SOURCE_ID STATE_DIR NAME DOWNLOADED KEY.pub...
 *
 * Exit status 0 when the release and the file verify, 1 when either is refused, 2 on a usage error.
 */
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include <kaldorn/trust.h>

int main(int argc, char** argv) {
    if (argc < 7) {
        fprintf(stderr, "usage: verify_release SOURCE SOURCE_ID STATE_DIR NAME DOWNLOADED KEY.pub...\n");
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
    int ok = KalDornTrustCheckFile(release, argv[4], argv[5], &error);
    if (ok)
        printf("%s verified\n", argv[4]);
    else
        fprintf(stderr, "%s refused (code %d): %s\n", argv[4], error.code, error.message);
    KalDornTrustCloseRelease(release); /* the release is the caller's */
    return ok ? 0 : 1;
}
