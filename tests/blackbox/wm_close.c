// Asks a window to close the way a window manager does when its close button
// is clicked: a WM_DELETE_WINDOW client message (ICCCM 4.2.8.1). The tests run
// without a window manager, so they send it themselves.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s window-id\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "cannot open the display\n");
    return 1;
  }
  Window window = (Window)strtoul(argv[1], NULL, 0);
  Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

  // A window manager asks only windows that take part in the protocol.
  Atom* list = NULL;
  int count = 0, takesPart = 0;
  if (XGetWMProtocols(display, window, &list, &count)) {
    for (int i = 0; i < count; ++i)
      takesPart = takesPart || list[i] == deleteWindow;
    XFree(list);
  }
  if (!takesPart) {
    fprintf(stderr, "window %s does not take WM_DELETE_WINDOW\n", argv[1]);
    XCloseDisplay(display);
    return 1;
  }

  XEvent event = {0};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = protocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = (long)deleteWindow;
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
