// Prints a TCP port on 127.0.0.1 that was free a moment ago, for test scripts that start a server
// which cannot be told to choose one itself.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

int main() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("free port");
    return 1;
  }
  std::printf("%u\n", static_cast<unsigned>(ntohs(address.sin_port)));
  close(fd);
  return 0;
}
