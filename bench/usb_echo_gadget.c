/* The gadget end of bench/usb_link.sh: sends every 64-byte report it is given straight back,
 * so that the host's loops measure the bus and their own transport, nothing of the unit.
 * Usage: usb_echo_gadget /dev/hidgN */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: usb_echo_gadget /dev/hidgN\n");
        return 2;
    }
    int fd = open(argv[1], O_RDWR);
    if (fd < 0) {
        perror(argv[1]);
        return 1;
    }
    unsigned char report[64];
    for (;;) {
        ssize_t n = read(fd, report, sizeof report);
        if (n <= 0) continue; /* unbound for a moment, or a signal */
        if (write(fd, report, (size_t)n) < 0) continue;
    }
}
