// The smallest Qt Widgets program that does what the device program's start
// is measured against: it shows a window, connects to the host given and
// writes back whatever it reads, until the host closes the connection.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    QApplication app(argc, argv);
    QWidget window;
    window.resize(240, 320);
    window.show();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(std::atoi(argv[2])));
    if (fd < 0 || inet_pton(AF_INET, argv[1], &addr.sin_addr) != 1 ||
        connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return 1;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    QSocketNotifier readable(fd, QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, [&] {
        char buffer[8192];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0 || send(fd, buffer, size_t(n), MSG_NOSIGNAL) != n) app.quit();
    });
    const int code = app.exec();
    close(fd);
    return code;
}
