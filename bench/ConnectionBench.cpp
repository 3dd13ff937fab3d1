// What an idle connection costs the server: the memory that the default connection limit is
// sized by. The server runs in this process; N clients connect and send the start of a
// request head that they never finish, as a slow client would. The counters give the
// server's resident memory per connection (its session, buffers and parser, with the
// clients' few bytes each) and the kernel's object memory per connection (both ends'
// sockets are counted, so it is halved).
#include "Service/HttpServer.h"

#include <benchmark/benchmark.h>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace quillgate::service;
namespace net = boost::asio;

std::int64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::int64_t size = 0;
  std::int64_t resident = 0;
  statm >> size >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

// The kernel's memory for objects (sockets, their files and buffers among them): what a
// connection costs the kernel, measured machine-wide, so other work adds noise.
std::int64_t KernelSlabBytes() {
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.starts_with("Slab:")) return std::stoll(line.substr(5)) * 1024;
  }
  return 0;
}

void BM_IdleConnectionMemory(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  rlimit files{};
  ::getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &files);
  for (auto _ : state) {
    ServerLimits limits;
    limits.maxConnections = count + 16;
    limits.maxConnectionsPerClient = count;
    limits.maxConnectionsPerNetwork = count;
    limits.headerTimeout = std::chrono::minutes(1);
    HttpServer server("127.0.0.1", 0, limits, [](Request&&, const Peer&, Responder) {});
    server.Start(1);
    net::io_context io;
    const std::int64_t residentBefore = ResidentBytes();
    const std::int64_t kernelBefore = KernelSlabBytes();
    std::vector<net::ip::tcp::socket> clients;
    clients.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      clients.emplace_back(io);
      clients.back().connect({net::ip::make_address("127.0.0.1"), server.Port()});
      net::write(clients.back(), net::buffer(std::string_view("GET / HTTP/1.1\r\nHost: x\r\n")));
    }
    while (server.Connections() < count) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // every head read as far as it goes
    state.counters["server_bytes_per_connection"] =
        static_cast<double>(ResidentBytes() - residentBefore) / static_cast<double>(count);
    state.counters["kernel_bytes_per_connection"] =
        static_cast<double>(KernelSlabBytes() - kernelBefore) / 2.0 / static_cast<double>(count);
    clients.clear();
    server.Stop();
    server.Wait();
  }
}
BENCHMARK(BM_IdleConnectionMemory)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
