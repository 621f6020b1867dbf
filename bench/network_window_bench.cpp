// The office's window while a thousand shops report (bench/network.sh
// --window): the program's main window with its network folder set and
// "Estado de la red" open, on the offscreen platform.
//
//   network_window_bench NETDIR FIRST COUNT
//
// A timer due every 10 ms measures how late the window's event loop runs
// it: the longest stall while the shops come online, while every shop
// reports the publication made from the window, and while the window
// connects again and takes every shop's retained state at once.

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <set>

#include "app/main_window.h"
#include "app/network_dialogs.h"
#include "app/network_menu.h"
#include "app/network_state_model.h"
#include "app/network_state_window.h"
#include "app/qt_dialogs.h"
#include "network/office_client.h"
#include "platform/file_io.h"
#include "platform/qt_interval_timer.h"

namespace quinterra {
namespace {

using Clock = std::chrono::steady_clock;

// The longest lateness of a 10 ms timer since the last Take.
class StallMeter {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kPeriod);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      const qint64 cpu = ThreadCpu();
      const qint64 late = now - last_ - kPeriod * 1'000'000;
      worst_ = std::max(worst_, late);
      // What this thread itself spent: a stall longer than that was the
      // machine's other processes holding both cores.
      worst_cpu_ = std::max(worst_cpu_, cpu - last_cpu_);
      if (trace_ && late > 10'000'000)
        std::fprintf(stderr, "stall %.1f ms (%.1f ms of it working) at %.3f s\n", late / 1e6,
                     (cpu - last_cpu_) / 1e6, now / 1e9);
      last_ = now;
      last_cpu_ = cpu;
    });
    clock_.start();
    timer_.start();
  }
  // The longest stall, and the most work the thread did between two ticks.
  std::pair<double, double> Take() {
    const std::pair<double, double> worst{worst_ / 1e6, worst_cpu_ / 1e6};
    worst_ = worst_cpu_ = 0;
    return worst;
  }

 private:
  static constexpr int kPeriod = 10;
  QTimer timer_;
  QElapsedTimer clock_;
  static qint64 ThreadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
  }
  qint64 last_ = 0, last_cpu_ = ThreadCpu();
  qint64 worst_ = 0, worst_cpu_ = 0;
  const bool trace_ = qEnvironmentVariableIsSet("QUINTERRA_BENCH_TRACE");
};

// Runs the event loop until done holds or seconds pass.
bool RunUntil(const std::function<bool()>& done, int seconds) {
  const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  QEventLoop loop;
  QTimer check;
  check.setInterval(50);
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done() || Clock::now() > end) loop.quit();
  });
  check.start();
  if (!done()) loop.exec();
  return done();
}

std::string ShopName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "bench-%04d", i);
  return name;
}

int Run(const std::string& net, int first, int count) {
  QTemporaryDir work;
  QDir::setCurrent(work.path());
  WriteFileAtomically(work.filePath("config.ini").toStdString(),
                      "[Red]\r\nCarpeta=" + net + "\r\n");
  TQtDialogs dialogs;
  QtTimerFactory timers;
  TForm1 form(dialogs, timers);
  form.show();
  TNetworkMenu& menu = *form.NetworkMenu;
  menu.StateAction->trigger();
  // Opening the windows (their first painting) is not what is measured.
  RunUntil([] { return false; }, 1);
  StallMeter meter;

  std::set<std::string> names;
  for (int i = first; i < first + count; ++i) names.insert(ShopName(i));
  auto count_rows = [&](const std::function<bool(const TShopRow&)>& test) {
    TShopsModel& model = *menu.Model();
    int n = 0;
    for (int row = 0; row < model.rowCount(); ++row)
      n += names.count(model.Row(row).Shop) && test(model.Row(row));
    return n;
  };
  auto online = [&] { return count_rows([](const TShopRow& r) { return r.Online == true; }); };
  if (!RunUntil([&] { return online() == count; }, 900))
    return std::fprintf(stderr, "only %d of %d shops online\n", online(), count), 3;
  const auto coming_online = meter.Take();

  const Clock::time_point start = Clock::now();
  menu.PublishAction->trigger();
  menu.PublishDialog->PublishButton->click();
  auto verified = [&] {
    return count_rows([](const TShopRow& r) { return r.Verdict == TVerdict::Fine; });
  };
  RunUntil([&] { return verified() == count; }, 600);
  const double all_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const int done = verified();
  const auto reporting = meter.Take();

  // A fresh connection: every shop's retained state and presence at once.
  menu.SetFolder(net);
  RunUntil([&] { return menu.Client()->Link() == TOfficeLink::Ready && verified() == count; }, 600);
  const auto snapshot = meter.Take();

  // Every column sorted both ways and a few filters, as the office clicks
  // and types, each with the view's own work after it.
  TShopsProxy& proxy = *menu.StateWindow->Proxy;
  double sort_ms = 0, filter_ms = 0;
  QElapsedTimer took;
  for (int column = 0; column < TShopsModel::kColumns; ++column) {
    for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
      took.start();
      proxy.SortByColumn(column, order);
      QCoreApplication::processEvents();
      sort_ms = std::max(sort_ms, took.nsecsElapsed() / 1e6);
    }
  }
  for (const char* text : {"bench-00", "bench-0042", "verificado", "ninguna", ""}) {
    took.start();
    proxy.SetFilterText(QString::fromUtf8(text));
    QCoreApplication::processEvents();
    filter_ms = std::max(filter_ms, took.nsecsElapsed() / 1e6);
  }
  if (verified() != count)
    std::fprintf(stderr, "after connecting again only %d of %d shops read verified\n", verified(),
                 count);
  std::printf("RESULT shops=%d verified=%d all_verified_ms=%.0f stall_online_ms=%.1f/%.1f "
              "stall_reports_ms=%.1f/%.1f stall_reconnect_ms=%.1f/%.1f sort_ms=%.1f filter_ms=%.1f\n",
              count, done, all_ms, coming_online.first, coming_online.second, reporting.first,
              reporting.second, snapshot.first, snapshot.second, sort_ms, filter_ms);
  return done == count && verified() == count ? 0 : 1;
}

}  // namespace
}  // namespace quinterra

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() == 3) return quinterra::Run(a[0], std::stoi(a[1]), std::stoi(a[2]));
  std::fprintf(stderr, "usage: network_window_bench NETDIR FIRST COUNT\n");
  return 2;
}
