#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vornix {

// Bytes handed on, in blocks, to a thread of their own that consumes them (sums and digests
// them): the thread that receives or reads the bytes goes on meanwhile, so on two cores a
// transfer and its verification take about the time of the slower of the two.
class BackgroundConsumer {
 public:
  using Consume = std::function<void(const char* data, size_t size)>;

  explicit BackgroundConsumer(Consume consume);
  ~BackgroundConsumer();
  BackgroundConsumer(const BackgroundConsumer&) = delete;
  BackgroundConsumer& operator=(const BackgroundConsumer&) = delete;

  // Waits only while a few blocks are queued already: the consumer always gets through them.
  void Add(const char* data, size_t size);
  // Hands on what is left and returns once every byte added has been consumed.
  void Finish();

 private:
  void HandOn();
  void Work();

  Consume consume_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queued_;
  std::vector<std::string> spare_;
  std::string current_;
  bool finishing_ = false;
  std::thread worker_;
};

}  // namespace vornix
