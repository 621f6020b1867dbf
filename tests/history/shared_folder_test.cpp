// The shop's work folder is shared (setgid) between the agent, running as a
// user of its own, and the operator's program, run by another user of the
// folder's group, each with the usual umask. Whoever comes first, the other
// still writes the record and still waits its turn on the devices.

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "history/history_open.h"
#include "history/history_store.h"
#include "platform/device_turn.h"
#include "tests/history/history_backends.h"

namespace quinterra::history_test {
namespace {

constexpr gid_t kSharedGroup = 40100;
constexpr uid_t kAgent = 40001;
constexpr uid_t kOperator = 40002;

// Runs work in a child process as uid (its own primary group, the shared
// one as a supplementary group, umask 022); its exit code: 0 when work
// said yes.
pid_t StartAs(uid_t uid, const std::function<bool()>& work) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  ::umask(022);
  if (::setgroups(1, &kSharedGroup) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) _exit(2);
  _exit(work() ? 0 : 1);
}

int Wait(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool RecordOne(const std::string& folder, const std::string& device) {
  try {
    std::vector<THistoryEvent> events{MakeEvent("", "results", device, "verified")};
    OpenHistory(HistoryPath(folder))->Append(events, {});
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

TEST(SharedFolderTest, TwoUsersOfTheFoldersGroupShareTheRecordAndTheDevicesTurn) {
  if (::geteuid() != 0) GTEST_SKIP() << "acting as two users needs root";
  test::TempFolder temp;
  const std::string folder = temp.Path().string() + "/";
  ASSERT_EQ(::chown(temp.Path().c_str(), 0, kSharedGroup), 0);
  ASSERT_EQ(::chmod(temp.Path().c_str(), 02770), 0);

  // The record: made by one, written by the other.
  EXPECT_EQ(Wait(StartAs(kAgent, [&] { return RecordOne(folder, "agente"); })), 0);
  EXPECT_EQ(Wait(StartAs(kOperator, [&] { return RecordOne(folder, "programa"); })), 0);
  const auto store = OpenHistory(HistoryPath(folder));
  EXPECT_EQ(store->EventCount(), 2);
  EXPECT_TRUE(store->Verify().Holds);

  // The turn: the agent holds it (having made the lock file); the operator
  // must wait for it, not go ahead as if nobody else could use the devices.
  int held[2], release[2];
  ASSERT_EQ(::pipe(held), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t agent = StartAs(kAgent, [&] {
    TDeviceTurn turn(folder);
    if (!turn.TryTake()) return false;
    char byte = 1;
    if (::write(held[1], &byte, 1) != 1) return false;
    return ::read(release[0], &byte, 1) >= 0;
  });
  char byte = 0;
  ASSERT_EQ(::read(held[0], &byte, 1), 1);
  EXPECT_EQ(Wait(StartAs(kOperator, [&] { return !TDeviceTurn(folder).TryTake(); })), 0)
      << "the operator's program took the turn the agent held";
  ASSERT_EQ(::write(release[1], &byte, 1), 1);
  EXPECT_EQ(Wait(agent), 0);
  EXPECT_EQ(Wait(StartAs(kOperator, [&] { return TDeviceTurn(folder).TryTake(); })), 0);
  for (int fd : {held[0], held[1], release[0], release[1]}) ::close(fd);
}

}  // namespace
}  // namespace quinterra::history_test
