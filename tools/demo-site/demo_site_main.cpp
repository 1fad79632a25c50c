// tessaly-demo-site: serves the sample gift-code directory on 127.0.0.1
// until SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "demo-site/demo_site_server.h"

namespace {

constexpr std::string_view kUsage =
    "usage: tessaly-demo-site [--port N] [--pages N] [--rows N]\n"
    "  --port   TCP port on 127.0.0.1, 0 for any free one (default 8765)\n"
    "  --pages  catalogue pages (default 36)\n"
    "  --rows   rows per catalogue page (default 30)\n";

struct Flags {
  int port = 8765;
  int pages = 36;
  int rows = 30;
};

std::optional<int> ParseCount(std::string_view text, int low, int high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

// Accepts "--name value" and "--name=value". Empty on a bad command line.
std::optional<Flags> ParseFlags(int argc, char** argv) {
  Flags flags;
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    std::string_view value;
    if (const std::size_t equals = argument.find('='); equals != std::string_view::npos) {
      value = argument.substr(equals + 1);
      argument = argument.substr(0, equals);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      return std::nullopt;
    }
    std::optional<int> parsed;
    if (argument == "--port") {
      parsed = ParseCount(value, 0, 65535);
      if (parsed) flags.port = *parsed;
    } else if (argument == "--pages") {
      parsed = ParseCount(value, 1, 100000);
      if (parsed) flags.pages = *parsed;
    } else if (argument == "--rows") {
      parsed = ParseCount(value, 1, 1000);
      if (parsed) flags.rows = *parsed;
    }
    if (!parsed) return std::nullopt;
  }
  return flags;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
      std::fputs(kUsage.data(), stdout);
      return 0;
    }
  }
  const std::optional<Flags> flags = ParseFlags(argc, argv);
  if (!flags) {
    std::fputs(kUsage.data(), stderr);
    return 2;
  }

  // Blocked before the server's threads start, so they inherit the mask and
  // the signals reach only the sigwait below. A shell starts background jobs
  // with SIGINT ignored, and an ignored signal never becomes pending: restore
  // the default first.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    tessaly::demo::DemoSiteServer server(
        tessaly::demo::Catalogue({.pages = flags->pages, .rowsPerPage = flags->rows}),
        {.port = static_cast<std::uint16_t>(flags->port)});
    std::printf("demo site on %s\n", server.BaseUrl().c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&stopSignals, &received);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tessaly-demo-site: %s\n", error.what());
    return 1;
  }
  return 0;
}
