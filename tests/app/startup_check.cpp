// The start-up check: runs the real program under the X server of
// xvfb-run, with scratch XDG folders, waits until its window is mapped,
// closes it as a window manager would (WM_DELETE_WINDOW) and expects the
// program to quit on its own with status 0.
//   xvfb-run -a startup_check PATH/TO/ombrix
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "rozuzed/testing/temporary_folder.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(60);
constexpr auto kPoll = std::chrono::milliseconds(100);

std::optional<long> windowPid(Display* display, Window window) {
  Atom type;
  int format;
  unsigned long count, remaining;
  unsigned char* data = nullptr;
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                         &remaining, &data) != Success ||
      data == nullptr) {
    return std::nullopt;
  }
  std::optional<long> pid;
  if (type == XA_CARDINAL && format == 32 && count == 1) pid = *reinterpret_cast<long*>(data);
  XFree(data);
  return pid;
}

// A viewable window of `pid` that can be asked to close, anywhere below
// `parent`.
std::optional<Window> findWindow(Display* display, Window parent, pid_t pid) {
  Window root, up;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, parent, &root, &up, &children, &count)) return std::nullopt;
  std::optional<Window> found;
  for (unsigned int i = 0; i < count && !found; ++i) {
    XWindowAttributes attributes;
    if (windowPid(display, children[i]) == pid &&
        XGetWindowAttributes(display, children[i], &attributes) &&
        attributes.map_state == IsViewable) {
      found = children[i];
    } else {
      found = findWindow(display, children[i], pid);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

// The program's exit status, or none when it is still running after
// `patience`.
std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds patience) {
  const auto deadline = Clock::now() + patience;
  while (Clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(kPoll);
  }
  return std::nullopt;
}

int fail(pid_t pid, const char* what) {
  std::fprintf(stderr, "startup_check: %s\n", what);
  if (pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xvfb-run -a startup_check PATH/TO/ombrix\n");
    return 2;
  }
  rozuzed::testing::TemporaryFolder scratch;
  rozuzed::testing::ScopedEnvironment home("HOME", scratch.path());
  rozuzed::testing::ScopedEnvironment data("XDG_DATA_HOME", scratch / "data");
  rozuzed::testing::ScopedEnvironment config("XDG_CONFIG_HOME", scratch / "config");
  rozuzed::testing::ScopedEnvironment cache("XDG_CACHE_HOME", scratch / "cache");
  rozuzed::testing::ScopedEnvironment platform("QT_QPA_PLATFORM", "xcb");

  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return fail(0, "no X display: run it under xvfb-run");

  pid_t pid = 0;
  char* arguments[] = {argv[1], nullptr};
  if (posix_spawn(&pid, argv[1], nullptr, nullptr, arguments, environ) != 0) {
    return fail(0, "the program could not be started");
  }

  std::optional<Window> window;
  for (const auto deadline = Clock::now() + kPatience; !window && Clock::now() < deadline;) {
    if (waitForExit(pid, kPoll)) return fail(0, "the program ended before it showed a window");
    window = findWindow(display, DefaultRootWindow(display), pid);
  }
  if (!window) return fail(pid, "no window was shown");

  XWindowAttributes attributes;
  XGetWindowAttributes(display, *window, &attributes);
  std::printf("window 0x%lx shown at %dx%d\n", *window, attributes.width, attributes.height);
  if (attributes.width != 960 || attributes.height != 640) {
    return fail(pid, "the window did not open at 960x640");
  }

  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = *window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, *window, False, NoEventMask, &close);
  XFlush(display);

  std::optional<int> status = waitForExit(pid, kPatience);
  XCloseDisplay(display);
  if (!status) return fail(pid, "the program did not quit when its window was closed");
  if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
    std::fprintf(stderr, "startup_check: the program ended with status 0x%x\n", *status);
    return 1;
  }
  std::printf("the program quit with status 0 when its window was closed\n");
  return 0;
}
