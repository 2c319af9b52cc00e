/* The smallest possible status sender, as a yardstick for command mode: one "-s connected" datagram to
 * 127.0.0.1:6123, then exit. Builds for Linux and, with MinGW-w64 and -lws2_32, for Windows. */
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#define closesocket close
#endif

int main(void)
{
    static const char payload[] = "-s connected";
    struct sockaddr_in destination = {0};
#ifdef _WIN32
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        return 3;
#endif
    destination.sin_family = AF_INET;
    destination.sin_port = htons(6123);
    destination.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = (int)socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return 3;
    const int sent = (int)sendto(fd, payload, sizeof payload - 1, 0, (const struct sockaddr*)&destination,
                                 sizeof destination);
    closesocket(fd);
    return sent == (int)(sizeof payload - 1) ? 0 : 3;
}
