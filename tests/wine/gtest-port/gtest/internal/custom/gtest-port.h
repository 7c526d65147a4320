#pragma once

#include <atomic>

// GCC 12's win32 thread model has no std::mutex or std::condition_variable,
// which GoogleTest's Notification is made of. Only GoogleTest's own threads
// wait on one; a polled flag does that job.
#define GTEST_HAS_NOTIFICATION_ 1
namespace testing::internal {
class Notification {
public:
    void Notify() { notified_ = true; }
    void WaitForNotification() const {
        while (!notified_) {
        }
    }

private:
    std::atomic<bool> notified_{false};
};
}  // namespace testing::internal
