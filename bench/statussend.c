/* The smallest possible status sender, as a yardstick for command mode: one "-s connected" datagram to
 * 127.0.0.1:6123, then exit. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int main(void)
{
    static const char payload[] = "-s connected";
    struct sockaddr_in destination = {0};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(6123);
    destination.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return 3;
    const ssize_t sent =
        sendto(fd, payload, sizeof payload - 1, 0, (const struct sockaddr*)&destination, sizeof destination);
    close(fd);
    return sent == (ssize_t)(sizeof payload - 1) ? 0 : 3;
}
