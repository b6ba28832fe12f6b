#include "common/background_consumer.h"

#include <algorithm>

namespace vornix {

namespace {
constexpr size_t kBlockBytes = 1 << 20;
constexpr size_t kMostQueued = 8;  // 8 MiB in flight at most
}  // namespace

BackgroundConsumer::BackgroundConsumer(Consume consume)
    : consume_(std::move(consume)), worker_([this] { Work(); }) {
  current_.reserve(kBlockBytes);
}

BackgroundConsumer::~BackgroundConsumer() {
  Finish();
}

void BackgroundConsumer::Add(const char* data, size_t size) {
  while (size > 0) {
    const size_t take = std::min(size, kBlockBytes - current_.size());
    current_.append(data, take);
    data += take;
    size -= take;
    if (current_.size() == kBlockBytes) HandOn();
  }
}

void BackgroundConsumer::HandOn() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queued_.size() < kMostQueued; });
  queued_.push_back(std::move(current_));
  if (spare_.empty()) {
    current_ = std::string();
    current_.reserve(kBlockBytes);
  } else {
    current_ = std::move(spare_.back());
    spare_.pop_back();
  }
  changed_.notify_all();
}

void BackgroundConsumer::Finish() {
  if (!worker_.joinable()) return;
  if (!current_.empty()) HandOn();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void BackgroundConsumer::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queued_.empty() || finishing_; });
    if (queued_.empty()) return;
    std::string block = std::move(queued_.front());
    queued_.pop_front();
    changed_.notify_all();
    lock.unlock();
    consume_(block.data(), block.size());
    block.clear();
    lock.lock();
    spare_.push_back(std::move(block));
  }
}

}  // namespace vornix
