// koa-sim-host: the simulated machine as the model behind the device shim
// under Wine (tests/windows/run-on-wine-devices.sh). It loads the machine
// as the Linux program does (KOA_SIM_MACHINE, with KOA_SIM_TRACE,
// KOA_SIM_STATE_OUT and KOA_SIM_STATE_NOW_OUT), listens on 127.0.0.1,
// answers the one shim that connects, and writes the trace and the state
// files when the shim unloads.
//
//   koa-sim-host [--port N] [--ready FILE] [--accept-timeout S] [--idle-timeout S] [--stop-after N]
//
// --port 0 (the default) takes a free port. Once listening it writes FILE:
// "port N", then one line "refuse ERROR ENTRY" per name whose opens the
// runner stages in Wine's namespace (sim/host/device_presentation.h), and
// "token limited" when the program must run without administrator rights.
// --stop-after N ends the model abruptly at the (N+1)-th relayed request,
// for tests of the runner's handling of a model that goes away.
//
// Every failure is one line on standard error and exit status 1; a run that
// left the simulated machine's answers (the shim could not present
// something, the machine refused an open Wine had granted) ends with 2 once
// the trace and the state are written.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "sim/host/device_presentation.h"
#include "sim/host/model_server.h"
#include "sim/machine_from_environment.h"

namespace {

using namespace koa::sim;
using namespace koa::sim::host;

constexpr const char* kProgram = "koa-sim-host";

struct Options {
  unsigned port = 0;
  std::string readyFile;
  int acceptSeconds = 120;
  ServeLimits limits;
};

int usage(const std::string& problem) {
  std::cerr << kProgram << ": " << problem
            << " (usage: koa-sim-host [--port N] [--ready FILE] [--accept-timeout S] [--idle-timeout S] "
               "[--stop-after N])\n";
  return 1;
}

bool number(const char* text, unsigned long long limit, unsigned long long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoull(text, &end, 10);
  return errno == 0 && end != text && *end == 0 && value <= limit;
}

bool parse(int argc, char** argv, Options& options, std::string& problem) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 == argc) {
      problem = option + " needs a value";
      return false;
    }
    const char* value = argv[++i];
    unsigned long long n = 0;
    if (option == "--port" && number(value, 65535, n)) {
      options.port = static_cast<unsigned>(n);
    } else if (option == "--ready") {
      options.readyFile = value;
    } else if (option == "--accept-timeout" && number(value, 3600, n) && n > 0) {
      options.acceptSeconds = static_cast<int>(n);
    } else if (option == "--idle-timeout" && number(value, 3600, n) && n > 0) {
      options.limits.idleSeconds = static_cast<int>(n);
    } else if (option == "--stop-after" && number(value, ~0ull, n)) {
      options.limits.stopAfter = n;
    } else {
      problem = "bad option " + option + " " + value;
      return false;
    }
  }
  return true;
}

// A listening socket on 127.0.0.1:port (0: any free port); -1 with the
// reason on errors.
int listenOnLoopback(unsigned& port) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) {
    std::cerr << kProgram << ": cannot make a socket: " << std::strerror(errno) << '\n';
    return -1;
  }
  // Reuse lets a run follow the last one at once; a port another program
  // listens on is still refused.
  const int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0) {
    std::cerr << kProgram << ": cannot listen on 127.0.0.1:" << port << ": " << std::strerror(errno) << '\n';
    ::close(listener);
    return -1;
  }
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return listener;
}

// Written whole, then renamed: the runner never reads half a file.
bool writeReady(const std::string& path, unsigned port, const Presentation& presentation) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::trunc);
    out << "port " << port << '\n';
    if (!presentation.elevated) out << "token limited\n";
    for (const PresentedName& name : presentation.names)
      if (name.refused != 0) out << "refuse " << name.refused << ' ' << name.stagedEntry << '\n';
    out.close();
    if (!out) return false;
  }
  std::error_code error;
  std::filesystem::rename(partial, path, error);
  return !error;
}

int acceptShim(int listener, int seconds) {
  pollfd wait = {listener, POLLIN, 0};
  int ready = 0;
  do {
    ready = ::poll(&wait, 1, seconds * 1000);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) {
    std::cerr << kProgram << ": the device shim did not connect within " << seconds << " s\n";
    return -1;
  }
  const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (connection < 0) std::cerr << kProgram << ": cannot accept the device shim: " << std::strerror(errno) << '\n';
  return connection;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string problem;
  if (!parse(argc, argv, options, problem)) return usage(problem);

  std::string error;
  auto description = machineDescriptionFromEnvironment(error);
  if (!description) {
    std::cerr << kProgram << ": " << error << '\n';
    return 1;
  }
  const char* machineFile = std::getenv("KOA_SIM_MACHINE");
  const std::string source = machineFile != nullptr && *machineFile != 0 ? machineFile : "built-in machine workstation.json";
  auto presentation = presentationFor(*description, error);
  if (!presentation) {
    std::cerr << kProgram << ": " << source << ": " << error << '\n';
    return 1;
  }
  auto machine = runningMachine(std::move(*description), kProgram, error);
  if (!machine) {
    std::cerr << kProgram << ": " << error << '\n';
    return 1;
  }

  unsigned port = options.port;
  const int listener = listenOnLoopback(port);
  if (listener < 0) return 1;
  if (!options.readyFile.empty() && !writeReady(options.readyFile, port, *presentation)) {
    std::cerr << kProgram << ": cannot write " << options.readyFile << '\n';
    return 1;
  }
  std::cout << kProgram << ": listening on 127.0.0.1:" << port << std::endl;
  const int connection = acceptShim(listener, options.acceptSeconds);
  ::close(listener);
  if (connection < 0) return 1;
  // A request that stops half-way is as bad as none.
  const timeval stall = {60, 0};
  ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &stall, sizeof stall);
  ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &stall, sizeof stall);
  // Every answer is awaited: none may wait for more bytes to fill a packet.
  const int noDelay = 1;
  ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);

  ModelServer server(machine->platform(), *presentation, std::cerr);
  const ServeEnd end = server.serve(connection, options.limits);
  ::close(connection);
  if (end == ServeEnd::Stopped) std::_Exit(3);  // as if the model had crashed: nothing more is written
  const bool finished = machine->finishRun(std::cerr);
  std::cout << kProgram << ": " << server.relayed() << " requests relayed" << std::endl;
  if (!finished || end != ServeEnd::Goodbye) return 1;
  return server.diverged() ? 2 : 0;
}
