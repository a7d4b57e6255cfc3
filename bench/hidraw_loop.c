/* The bare loop of bench/usb_link.sh: one 64-byte output report to the unit's hidraw node and
 * its echo read back, COUNT times, with nothing but write() and read(). Prints
 * "exchanges_per_second N". Usage: hidraw_loop /dev/hidrawN COUNT */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: hidraw_loop /dev/hidrawN COUNT\n");
        return 2;
    }
    const long count = atol(argv[2]);
    int fd = open(argv[1], O_RDWR);
    if (fd < 0) {
        perror(argv[1]);
        return 1;
    }
    unsigned char out[65], in[64];
    const double start = Now();
    for (long i = 0; i < count; ++i) {
        out[0] = 0; /* no report ids: hidraw sends the 64 bytes after it */
        for (int b = 1; b < 65; ++b) out[b] = (unsigned char)(i + b);
        if (write(fd, out, sizeof out) != (ssize_t)sizeof out) {
            perror("write");
            return 1;
        }
        if (read(fd, in, sizeof in) != (ssize_t)sizeof in || memcmp(in, out + 1, 64) != 0) {
            fprintf(stderr, "exchange %ld: no echo\n", i);
            return 1;
        }
    }
    printf("exchanges_per_second %.1f\n", (double)count / (Now() - start));
    return 0;
}
