// Preloaded into a program under test: its listen() waits TARNEL_TEST_LISTEN_DELAY_MS first,
// which widens the moment between a socket's bind() and its listen() for the tests.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <time.h>

int listen(int fd, int backlog) {
  int (*next)(int, int) = (int (*)(int, int))dlsym(RTLD_NEXT, "listen");
  const char* delay = getenv("TARNEL_TEST_LISTEN_DELAY_MS");
  if (delay) {
    const long ms = strtol(delay, NULL, 10);
    struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
  }
  return next(fd, backlog);
}
