// The program, the agent and quinterra-send write the same record at once:
// several processes, each committing event by event, lose nothing and
// leave one unbroken chain.

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>

#include "history/history_recorder.h"
#include "tests/history/history_backends.h"

namespace quinterra::history_test {
namespace {

constexpr int kWriters = 4;
constexpr int kEventsEach = 60;

// A writer process: its own recorder, every event its own transaction.
// _exit: the parent's objects (its database server among them) are not
// this process's to take down.
[[noreturn]] void Writer(const std::string& where, int number) {
  bool all_written = false;
  {
    THistoryRecorder recorder([where] { return OpenHistoryDatabase(where); }, [](const std::string&) {});
    for (int i = 0; i < kEventsEach; ++i) {
      std::vector<uint8_t> image(320, static_cast<uint8_t>(i % 3));
      recorder.Record(MakeEvent("", "results", "writer-" + std::to_string(number), "read", image),
                      image);
      recorder.Flush(std::chrono::seconds(30));
    }
    all_written = recorder.Flush(std::chrono::seconds(30)) && recorder.Written() == kEventsEach;
  }
  _exit(all_written ? 0 : 1);
}

using HistoryWritersTest = BackendTest;

TEST_P(HistoryWritersTest, SeveralProcessesAtOnceLoseNoEventAndKeepOneChain) {
  std::vector<pid_t> writers;
  for (int number = 0; number < kWriters; ++number) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) Writer(Where(), number);
    writers.push_back(pid);
  }
  for (pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << pid;
  }

  std::unique_ptr<THistoryStore> store = Open();
  const std::vector<THistoryEvent> events = store->Events({});
  ASSERT_EQ(events.size(), size_t{kWriters * kEventsEach});
  std::map<std::string, int> per_writer;
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].Id, static_cast<int64_t>(i + 1));
    ++per_writer[events[i].Device];
  }
  for (const auto& [writer, count] : per_writer) EXPECT_EQ(count, kEventsEach) << writer;
  EXPECT_EQ(per_writer.size(), size_t{kWriters});
  const THistoryVerification verification = store->Verify();
  EXPECT_TRUE(verification.Holds) << verification.Reason;
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryWritersTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres), BackendName);

}  // namespace
}  // namespace quinterra::history_test
