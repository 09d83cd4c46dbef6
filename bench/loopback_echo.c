/* The baseline the loopback benchmark sets the headless session tool against:
   a plain C program that connects to the host as the tool does and writes
   back every byte it reads, as soon as it reads it, until the host closes. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: loopback-echo IPV4-ADDRESS PORT\n");
        return 2;
    }
    struct sockaddr_in addr = {0};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((unsigned short)atoi(argv[2]));
    if (inet_pton(AF_INET, argv[1], &addr.sin_addr) != 1) {
        fprintf(stderr, "loopback-echo: bad address '%s'\n", argv[1]);
        return 2;
    }
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, (struct sockaddr*)&addr, sizeof addr) != 0) {
        perror("loopback-echo: connect");
        return 1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    static char buffer[20480];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return 0;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(fd, buffer + done, (size_t)(n - done));
            if (w <= 0) return 1;
            done += w;
        }
    }
}
