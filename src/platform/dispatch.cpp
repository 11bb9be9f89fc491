#include "platform/dispatch.h"

#include <condition_variable>
#include <deque>
#include <thread>

#include "platform/main_queue.h"

namespace qvad {
namespace {

class Pool {
 public:
  explicit Pool(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) threads_.emplace_back([this] { work(); });
  }
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stopping_ = true;
    }
    cv_.notify_all();
    for (auto& t : threads_) t.join();
  }
  void post(Task task) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      tasks_.push_back(std::move(task));
    }
    cv_.notify_one();
  }
  std::size_t size() const { return threads_.size(); }

 private:
  void work() {
    for (;;) {
      Task task;
      {
        std::unique_lock<std::mutex> lock(mu_);
        cv_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
        // Queued work still runs at exit, so nothing handed over is silently lost.
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Task> tasks_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

Pool& pool() {
  static Pool p(std::thread::hardware_concurrency() > 1 ? 2 : 1);
  return p;
}

}  // namespace

void GlobalQueue::async(Task task) { pool().post(std::move(task)); }

std::size_t GlobalQueue::workerCount() { return pool().size(); }

std::shared_ptr<DispatchGroup> DispatchGroup::make() {
  return std::shared_ptr<DispatchGroup>(new DispatchGroup());
}

void DispatchGroup::enter() {
  std::lock_guard<std::mutex> lock(mu_);
  ++count_;
}

void DispatchGroup::leave() {
  std::unique_lock<std::mutex> lock(mu_);
  if (count_ == 0) return;
  --count_;
  fireIfDoneLocked(lock);
}

void DispatchGroup::notify(std::function<void()> onMain) {
  std::unique_lock<std::mutex> lock(mu_);
  waiting_.push_back(std::move(onMain));
  fireIfDoneLocked(lock);
}

void DispatchGroup::fireIfDoneLocked(std::unique_lock<std::mutex>& lock) {
  if (count_ != 0 || waiting_.empty()) return;
  auto ready = std::move(waiting_);
  waiting_.clear();
  lock.unlock();
  for (auto& f : ready) dispatchMain(std::move(f));
}

}  // namespace qvad
