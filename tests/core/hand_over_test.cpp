#include "util/hand_over.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vellum {
namespace {

TEST(HandOverTest, DeliversEveryItemInOrderThenEnds) {
  HandOver<int> channel;
  std::vector<int> received;
  std::thread receiver([&] {
    while (auto item = channel.receive()) received.push_back(*item);
  });
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(channel.send(i));
  channel.close();
  receiver.join();
  ASSERT_EQ(received.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(received[i], i);
}

TEST(HandOverTest, SendFailsOnceTheReceiverStopped) {
  HandOver<int> channel;
  std::thread receiver([&] {
    EXPECT_EQ(channel.receive(), 1);
    channel.stop_receiving();
  });
  EXPECT_TRUE(channel.send(1));
  receiver.join();
  EXPECT_FALSE(channel.send(2));
}

TEST(HandOverTest, BlockedSendIsReleasedWhenTheReceiverStops) {
  HandOver<int> channel;
  std::thread stopper([&] { channel.stop_receiving(); });
  // Either the stop came first or it releases the waiting send; the item is never taken.
  EXPECT_FALSE(channel.send(7));
  stopper.join();
}

}  // namespace
}  // namespace vellum
