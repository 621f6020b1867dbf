// startup_probe SETTLE_MS PROGRAM [ARG...]: starts PROGRAM on the X display
// of $DISPLAY and prints, on one line, the milliseconds from the start to the
// mapping of its first top-level window, its resident memory in kB
// SETTLE_MS after its first paint, the window's width and height, and the
// milliseconds to that first paint (-1: none seen). Then ends it.
// Used by bench/startup.sh under a virtual X server.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kMapLimit(20);
constexpr std::chrono::seconds kPaintLimit(5);

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

void End(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// The pixels of a 16 x 16 square in the middle of the window.
std::string Middle(xcb_connection_t* x, xcb_window_t window, int width, int height) {
  const xcb_get_image_cookie_t asked = xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, window, width / 2 - 8,
                                                     height / 2 - 8, 16, 16, ~0u);
  xcb_get_image_reply_t* image = xcb_get_image_reply(x, asked, nullptr);
  if (!image) return {};
  const std::string pixels(reinterpret_cast<const char*>(xcb_get_image_data(image)),
                           static_cast<size_t>(xcb_get_image_data_length(image)));
  std::free(image);
  return pixels;
}

int Fail(const char* what, pid_t pid = 0) {
  std::fprintf(stderr, "startup_probe: %s\n", what);
  if (pid > 0) End(pid);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: startup_probe SETTLE_MS PROGRAM [ARG...]\n");
    return 2;
  }
  const int settle_ms = std::atoi(argv[1]);

  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x)) return Fail("no X display");
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  // Without a window manager every top-level window is a child of the root:
  // its mapping is a MapNotify on the root's substructure.
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  const xcb_void_cookie_t watch = xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &mask);
  if (xcb_generic_error_t* error = xcb_request_check(x, watch)) {
    std::free(error);
    return Fail("cannot watch the root window");
  }

  const Clock::time_point started = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) return Fail("fork failed");
  if (pid == 0) {
    close(xcb_get_file_descriptor(x));
    execvp(argv[2], argv + 2);
    std::perror("startup_probe: exec");
    _exit(127);
  }

  xcb_window_t window = 0;
  const Clock::time_point limit = started + kMapLimit;
  pollfd watched{xcb_get_file_descriptor(x), POLLIN, 0};
  while (window == 0) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
      if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
        const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
        if (map->event == root && !map->override_redirect && window == 0) window = map->window;
      }
      std::free(event);
    }
    if (window != 0) break;
    if (xcb_connection_has_error(x)) return Fail("X connection lost", pid);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - Clock::now());
    if (left.count() <= 0) return Fail("no window was mapped", pid);
    if (waitpid(pid, nullptr, WNOHANG) == pid) return Fail("the program ended before any window");
    poll(&watched, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
  }
  const double mapped_ms =
      std::chrono::duration<double, std::milli>(Clock::now() - started).count();

  int width = 0, height = 0;
  const xcb_get_geometry_cookie_t asked = xcb_get_geometry(x, window);
  if (xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(x, asked, nullptr)) {
    width = geometry->width;
    height = geometry->height;
    std::free(geometry);
  }

  // The first paint: the middle of the window changes from what the mapping
  // showed (the root's background) to what the program draws.
  double painted_ms = -1;
  const std::string before = Middle(x, window, width, height);
  const Clock::time_point paint_limit = Clock::now() + kPaintLimit;
  while (Clock::now() < paint_limit) {
    if (Middle(x, window, width, height) != before) {
      painted_ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }

  std::this_thread::sleep_for(std::chrono::milliseconds(settle_ms));
  const long rss_kb = ResidentKb(pid);
  End(pid);
  xcb_disconnect(x);
  std::printf("%.1f %ld %d %d %.1f\n", mapped_ms, rss_kb, width, height, painted_ms);
  return rss_kb < 0 ? 1 : 0;
}
