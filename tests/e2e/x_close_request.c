/* Sends a real close request (WM_PROTOCOLS / WM_DELETE_WINDOW) to an X
 * window, as a window manager's close box does, and waits for the server to
 * confirm delivery.  Usage: x_close_request WINDOW_ID */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <xcb/xcb.h>

static xcb_atom_t intern(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
  xcb_atom_t atom = r ? r->atom : XCB_ATOM_NONE;
  free(r);
  return atom;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: x_close_request WINDOW_ID\n");
    return 2;
  }
  const xcb_window_t window = (xcb_window_t)strtoul(argv[1], NULL, 0);
  xcb_connection_t* c = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(c)) {
    fprintf(stderr, "x_close_request: cannot open display\n");
    return 1;
  }
  xcb_client_message_event_t event;
  memset(&event, 0, sizeof event);
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = intern(c, "WM_PROTOCOLS");
  event.data.data32[0] = intern(c, "WM_DELETE_WINDOW");
  event.data.data32[1] = XCB_CURRENT_TIME;
  xcb_generic_error_t* error =
      xcb_request_check(c, xcb_send_event_checked(c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                                                  (const char*)&event));
  const int rc = error ? 1 : 0;
  if (error) fprintf(stderr, "x_close_request: send failed (error %d)\n", error->error_code);
  free(error);
  xcb_disconnect(c);
  return rc;
}
