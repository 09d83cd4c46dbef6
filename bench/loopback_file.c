/* The baseline the transfer benchmark sets file commands against: a plain C
   program that connects to the host and, for each request byte, moves a
   file's bytes over the socket as directly as it can. 'G': the file's bytes
   are sent as they are read. 'H': SIZE bytes are read from the socket into a
   new file beside FILE, which is synced and renamed over FILE (as the device
   stores a file), then one byte 'H' answers. It ends when the host closes. */
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static char buffer[1 << 16];

static int WriteAll(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t w = write(fd, bytes, count);
        if (w <= 0) return 0;
        bytes += w;
        count -= (size_t)w;
    }
    return 1;
}

static int Retrieve(int sock, const char* file) {
    int in = open(file, O_RDONLY | O_CLOEXEC);
    if (in < 0) return 0;
    ssize_t n;
    while ((n = read(in, buffer, sizeof buffer)) > 0)
        if (!WriteAll(sock, buffer, (size_t)n)) break;
    close(in);
    return n == 0;
}

static int Store(int sock, const char* file, long long size) {
    char temp[4096];
    snprintf(temp, sizeof temp, "%s.tmp", file);
    int out = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) return 0;
    int ok = 1;
    while (size > 0 && ok) {
        ssize_t n = read(sock, buffer, size < (long long)sizeof buffer ? (size_t)size : sizeof buffer);
        ok = n > 0 && WriteAll(out, buffer, (size_t)n);
        if (n > 0) size -= n;
    }
    ok = ok && fdatasync(out) == 0;
    ok = close(out) == 0 && ok;
    ok = ok && rename(temp, file) == 0;
    return ok && WriteAll(sock, "H", 1);
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: loopback-file IPV4-ADDRESS PORT FILE SIZE\n");
        return 2;
    }
    struct sockaddr_in addr = {0};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((unsigned short)atoi(argv[2]));
    if (inet_pton(AF_INET, argv[1], &addr.sin_addr) != 1) return 2;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, (struct sockaddr*)&addr, sizeof addr) != 0) {
        perror("loopback-file: connect");
        return 1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const long long size = atoll(argv[4]);
    for (;;) {
        char request;
        if (read(fd, &request, 1) != 1) return 0;
        if (request == 'G' && !Retrieve(fd, argv[3])) return 1;
        if (request == 'H' && !Store(fd, argv[3], size)) return 1;
    }
}
