// _filelength: the length of an open file without moving its position.
#include <unistd.h>

#include "kaldorn/crc32.h"

int _filelength(int fd) {
    if (fd == -1) return 0;
    off_t here = ::lseek(fd, 0, SEEK_CUR);
    off_t end = ::lseek(fd, 0, SEEK_END);
    off_t back = ::lseek(fd, here, SEEK_SET);
    // Positions and lengths are 32-bit in this format family.
    if (here < 0 || back != here) return -1;
    return static_cast<int>(end);
}
