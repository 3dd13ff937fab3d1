#include "Service/RenderPool.h"

#include <algorithm>
#include <stdexcept>

namespace quillgate::service {

RenderPool::RenderPool(int threads, std::size_t queueLimit, std::size_t perClient, std::size_t perNetwork)
    : queueLimit_(queueLimit), perClient_(perClient), perNetwork_(perNetwork) {
  if (threads < 1 || queueLimit < 1 || perClient < 1 || perNetwork < 1) {
    throw std::invalid_argument("a render pool needs a thread, a queue and a place per client and network");
  }
  threadCount_ = static_cast<std::size_t>(threads);
  threads_.reserve(threadCount_);
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

RenderPool::~RenderPool() {
  {
    const std::scoped_lock lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (auto& thread : threads_) thread.join();
}

RenderPool::Admission RenderPool::Submit(const std::string& client, const std::string& network,
                                        std::function<void()> work, std::function<void()> deliver) {
  {
    const std::scoped_lock lock(mutex_);
    if (waiting_ >= queueLimit_) return Admission::Full;
    const auto known = clients_.find(client);
    if (known != clients_.end() && known->second.active >= perClient_) return Admission::ClientFull;
    const auto busy = networks_.find(network);
    if (busy != networks_.end() && busy->second >= perNetwork_) return Admission::NetworkFull;
    Client& entry = clients_[client];
    if (entry.active == 0) entry.network = network;  // a client stays in its network
    ++networks_[network];
    if (entry.jobs.empty()) {
      // A client with nothing running yet goes ahead of the clients being served now: a
      // flooder whose picture is being drawn was put back in line when the line was empty,
      // and a visitor arriving next must not wait for its next picture as well.
      auto place = turn_.end();
      if (entry.active == 0) {
        place = std::find_if(turn_.begin(), turn_.end(), [this](const std::string& other) {
          const Client& waiting = clients_.at(other);
          return waiting.active > waiting.jobs.size();
        });
      }
      turn_.insert(place, client);
    }
    entry.jobs.emplace_back(std::move(work), std::move(deliver));
    ++entry.active;
    ++waiting_;
  }
  ready_.notify_one();
  return Admission::Queued;
}

bool RenderPool::Saturated() const {
  const std::scoped_lock lock(mutex_);
  return waiting_ >= queueLimit_;
}

double RenderPool::Load() const {
  const std::scoped_lock lock(mutex_);
  return static_cast<double>(running_ + waiting_) / static_cast<double>(threadCount_);
}

std::size_t RenderPool::Waiting() const {
  const std::scoped_lock lock(mutex_);
  return waiting_;
}

void RenderPool::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ready_.wait(lock, [this] { return stopping_ || !turn_.empty(); });
    if (turn_.empty()) return;  // stopping, and nothing left to run
    // The client whose turn it is gives one job, then goes to the back of the line.
    const std::string client = std::move(turn_.front());
    turn_.pop_front();
    Client& entry = clients_[client];
    auto [work, deliver] = std::move(entry.jobs.front());
    entry.jobs.pop_front();
    if (!entry.jobs.empty()) turn_.push_back(client);
    --waiting_;
    ++running_;
    lock.unlock();
    work();
    lock.lock();
    --running_;
    Client& done = clients_[client];
    if (const auto network = networks_.find(done.network); network != networks_.end() && --network->second == 0) {
      networks_.erase(network);
    }
    if (--done.active == 0) clients_.erase(client);
    if (deliver) {
      lock.unlock();
      deliver();
      lock.lock();
    }
  }
}

}  // namespace quillgate::service
