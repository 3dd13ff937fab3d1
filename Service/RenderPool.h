#pragma once
// Where challenges are drawn: a few threads apart from the ones that read and write HTTP,
// so a heavy picture never holds up a request that needs no drawing. Its queue is bounded:
// when it is full a request is refused at once (503) rather than left to wait. And it is
// fair: every client may have only a few jobs queued or running, and every network (the
// clients of one IPv4 /24 or IPv6 /48) only a few more, so neither one address nor many in
// one network can hold the queue; and the threads take jobs from the waiting clients in
// turn, so one client flooding with the heaviest allowed challenge makes a visitor wait for
// at most one picture per thread, not for the flood.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quillgate::service {

class RenderPool {
 public:
  enum class Admission { Queued, Full, ClientFull, NetworkFull };

  // `threads` >= 1; `queueLimit` jobs wait at most in all; `perClient` jobs queued or
  // running at most for one client, `perNetwork` for all the clients of one network.
  RenderPool(int threads, std::size_t queueLimit, std::size_t perClient, std::size_t perNetwork);
  // Runs what is queued, then joins the threads.
  ~RenderPool();
  RenderPool(const RenderPool&) = delete;
  RenderPool& operator=(const RenderPool&) = delete;

  // Queues `work` for `client` (a ClientKey) of `network` (its NetworkKey); once it has run
  // and the client's place is
  // given back, `deliver` runs on the same thread. The answer goes out in `deliver`: a
  // client that sends its next request the moment it has the answer must find its place
  // free. Neither may throw.
  Admission Submit(const std::string& client, const std::string& network, std::function<void()> work,
                   std::function<void()> deliver = {});
  // The queue is full: /readyz says not ready.
  [[nodiscard]] bool Saturated() const;
  [[nodiscard]] std::size_t Waiting() const;
  // Jobs running or waiting per thread: above 0.5 the pool is more than half busy, above 1
  // jobs queue.
  [[nodiscard]] double Load() const;

 private:
  struct Client {
    std::deque<std::pair<std::function<void()>, std::function<void()>>> jobs;  // work, deliver
    std::size_t active = 0;  // queued plus running
    std::string network;
  };
  void Work();

  const std::size_t queueLimit_;
  const std::size_t perClient_;
  const std::size_t perNetwork_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  bool stopping_ = false;
  std::size_t waiting_ = 0;
  std::size_t running_ = 0;
  std::size_t threadCount_ = 1;
  std::unordered_map<std::string, Client> clients_;
  std::unordered_map<std::string, std::size_t> networks_;  // jobs queued or running per network
  std::list<std::string> turn_;  // clients with queued jobs, in the order they are served
  std::vector<std::thread> threads_;
};

}  // namespace quillgate::service
