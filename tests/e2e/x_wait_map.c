/* Starts a program and reports, in microseconds, how long it took until its
 * first top-level window was mapped on the X server.
 * Usage: x_wait_map PROGRAM [ARGS...]; prints "map_us=N pid=P window=W".
 * The program is left running (its pid is printed for the caller to end it). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

static long long now_us(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (long long)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: x_wait_map PROGRAM [ARGS...]\n");
    return 2;
  }
  xcb_connection_t* c = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(c)) return 1;
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(c);

  const long long start = now_us();
  const pid_t pid = fork();
  if (pid == 0) {
    /* Keep the program off our standard output, so that a caller reading
     * it sees the end of our report when we exit. */
    dup2(STDERR_FILENO, STDOUT_FILENO);
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  long long mapped = -1;
  xcb_window_t window = 0;
  xcb_generic_event_t* e;
  while ((e = xcb_wait_for_event(c)) != NULL) {
    const int type = e->response_type & 0x7f;
    if (type == XCB_MAP_NOTIFY && mapped < 0) {
      mapped = now_us() - start;
      window = ((xcb_map_notify_event_t*)e)->window;
      free(e);
      break;
    }
    free(e);
  }
  printf("map_us=%lld pid=%d window=%u\n", mapped, (int)pid, window);
  xcb_disconnect(c);
  return mapped < 0 ? 1 : 0;
}
