#include "sortappkit/serial_queue.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

#include "sortappkit/observable.h"

namespace sortappkit {
namespace {

TEST(SerialQueueTest, GoesOnAfterAFailingTaskAndFinishesWhenATaskDestroysIt) {
  auto queue = std::make_shared<SerialQueue>();
  std::promise<void> release;
  std::promise<bool> last;
  std::vector<int> order;
  queue->async([&] { release.get_future().wait(); });
  queue->async([&] {
    order.push_back(1);
    throw std::runtime_error("a failing task");
  });
  queue->async([q = queue]() mutable { q.reset(); });
  queue->async([&, q = std::weak_ptr<SerialQueue>(queue)] {
    order.push_back(2);
    last.set_value(q.expired());
  });
  queue.reset();
  release.set_value();
  EXPECT_TRUE(last.get_future().get()) << "the queue was gone, and its last task still ran";
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(ObservableTest, AnnouncesOnlyChangesUnlessAskedToAnnounceEveryAssignment) {
  Observable<int> value(1);
  std::vector<int> seen;
  const int64_t token = value.observe([&](int v) { seen.push_back(v); });
  value.set(1);
  value.set(2);
  value.modify([](int& v) { v = 2; });
  value.modify([](int& v) { v = 3; });
  EXPECT_EQ(seen, (std::vector<int>{2, 3}));
  value.unobserve(token);
  value.set(4);
  EXPECT_EQ(seen.size(), 2u);

  auto shared = std::make_shared<int>(0);
  Observable<std::shared_ptr<int>> every(shared, true);
  int announcements = 0;
  every.observe([&](const auto&) { ++announcements; });
  every.set(shared);
  every.set(shared);
  EXPECT_EQ(announcements, 2);
}

TEST(ObservableTest, AChangeThatSaysWhetherItChangedIsMadeInPlace) {
  Observable<std::vector<int>> list(std::vector<int>{1, 2});
  int announced = 0;
  list.observe([&](const auto&) { ++announced; });
  const int* storage = list.get().data();
  list.modify([](std::vector<int>& v) {
    v[0] = 7;
    return true;
  });
  list.modify([](std::vector<int>&) { return false; });
  EXPECT_EQ(announced, 1);
  EXPECT_EQ(list.get(), (std::vector<int>{7, 2}));
  EXPECT_EQ(list.get().data(), storage) << "changed where it lies, not on a copy";
}

}  // namespace
}  // namespace sortappkit
