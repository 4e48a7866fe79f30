// The page's server without a network: the Host and Origin checks.
#include "web/server.h"

#include <gtest/gtest.h>

namespace anamorfosi {

TEST(Host, OnlyTheServersOwnNamesAndPort) {
  const std::vector<std::string> names = {"127.0.0.1", "localhost", "::1"};
  EXPECT_TRUE(HostAllowed("127.0.0.1:8765", names, 8765));
  EXPECT_TRUE(HostAllowed("LocalHost:8765", names, 8765));
  EXPECT_TRUE(HostAllowed("[::1]:8765", names, 8765));
  EXPECT_FALSE(HostAllowed("::1:8765", names, 8765));
  EXPECT_FALSE(HostAllowed("127.0.0.1:8766", names, 8765));
  EXPECT_FALSE(HostAllowed("127.0.0.1", names, 8765));
  EXPECT_TRUE(HostAllowed("localhost", names, 80));
  EXPECT_FALSE(HostAllowed("attacker.example:8765", names, 8765));
  EXPECT_FALSE(HostAllowed("127.0.0.1:8765.attacker.example", names, 8765));
  EXPECT_FALSE(HostAllowed("localhost.attacker.example:8765", names, 8765));
  EXPECT_FALSE(HostAllowed("", names, 8765));
  EXPECT_TRUE(HostAllowed("192.168.1.20:8765", {"127.0.0.1", "192.168.1.20"}, 8765));
}

TEST(Host, OriginOnlyThePagesOwn) {
  const std::vector<std::string> names = {"127.0.0.1", "localhost", "::1"};
  EXPECT_TRUE(OriginAllowed("http://127.0.0.1:8765", names, 8765));
  EXPECT_TRUE(OriginAllowed("HTTP://LocalHost:8765", names, 8765));
  EXPECT_TRUE(OriginAllowed("http://[::1]:8765", names, 8765));
  EXPECT_FALSE(OriginAllowed("http://attacker.example", names, 8765));
  EXPECT_FALSE(OriginAllowed("null", names, 8765));  // a sandboxed frame or a file
  EXPECT_FALSE(OriginAllowed("", names, 8765));
  EXPECT_FALSE(OriginAllowed("http://", names, 8765));
  EXPECT_FALSE(OriginAllowed("https://127.0.0.1:8765", names, 8765));
  EXPECT_FALSE(OriginAllowed("http://127.0.0.1:8766", names, 8765));
  EXPECT_FALSE(OriginAllowed("http://127.0.0.1:8765.attacker.example", names, 8765));
  EXPECT_FALSE(OriginAllowed("http://127.0.0.1:8765/", names, 8765));
  EXPECT_FALSE(OriginAllowed("ws://127.0.0.1:8765", names, 8765));
}

}  // namespace anamorfosi
