// TCP clients that leave at once or never read: they give their slots back, are not waited for,
// and count as served only when they got a sentence. Tested through sockets on the real program.
#include <signal.h>
#include <unistd.h>

#include "tests/test_support.h"

namespace wayloom {
namespace {

TEST(LiveFaults, ClientsThatLeaveOrNeverReadGiveTheirSlotsBack) {
  test::TempDir dir;
  {
    // More clients come and go than there are slots, before the two the track waits for.
    test::CliProcess cli(dir, {"--serve", "0", "--wait-clients", "2", "--period", "600",
                               WAYLOOM_TEST_DATA "/three_points.csv"});
    const int port = cli.Port();
    for (int i = 0; i < 70; ++i) close(test::Connect(port));
    const int first = test::Connect(port);
    const int second = test::Connect(port);
    test::Read(first, 2);
    test::Read(second, 2);
    EXPECT_EQ(cli.Wait(SIGINT), kExitInterrupted);
    EXPECT_NE(cli.Err().find("stopped: 2 sentences sent live, 2 client(s) served"),
              std::string::npos)
        << cli.Err();
    EXPECT_EQ(cli.Err().find("turned away"), std::string::npos) << cli.Err();
    close(first);
    close(second);
  }
  {
    // Some 1500 pairs at once: more than the kernel holds for a client that does not read, less
    // than its queue. It is dropped once its queue has not moved for the timeout, not when the
    // track ends.
    const std::string source = dir.File("pois.csv");
    test::WriteFile(source, "-9.14,38.72,Lisbon\n21.01,52.23,Warsaw\n");
    test::CliProcess cli(dir, {"--serve", "0", "--wait-clients", "1", "--client-timeout", "0.5",
                               "--speedup", "1000000", "--extra", "--step", "1800", source});
    const int stalled = test::Connect(cli.Port(), 4096);
    EXPECT_EQ(cli.Wait(), kExitOk);
    EXPECT_NE(cli.Err().find("1 client(s) served, 1 dropped for reading too slowly"),
              std::string::npos)
        << cli.Err();
    close(stalled);
  }
}

}  // namespace
}  // namespace wayloom
