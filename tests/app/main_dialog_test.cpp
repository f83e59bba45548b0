#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <ctime>
#include <mutex>
#include <set>
#include <thread>

#include "platform/locale_time.h"
#include "stations/metar_stations.h"
#include "support/recording_controls.h"
#include "support/scoped_env.h"

namespace {

using namespace std::chrono_literals;
using altivane::test::RecordingButton;
using altivane::test::RecordingStatusField;
using altivane::test::RecordingTimeField;

// Waits for a condition with a time-out; true when it came true.
template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds timeout = 5000ms) {
  auto until = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// True when the calling thread holds the catalogue lock (another thread cannot take it).
bool CatalogueLockHeldHere() {
  bool taken = false;
  std::thread probe([&] {
    taken = CatalogueLock().try_lock();
    if (taken) CatalogueLock().unlock();
  });
  probe.join();
  return !taken;
}

// Records what the window asked for, in order.
struct Journal {
  std::atomic<int> startsWithoutLock{0};
  std::mutex mutex;
  std::vector<std::string> calls;
  std::atomic<int> fetches{0};
  std::atomic<int> backgroundStarts{0};
  std::atomic<bool> stopRequested{false};
  void Add(std::string what) {
    std::lock_guard lock(mutex);
    calls.push_back(std::move(what));
  }
  std::vector<std::string> Calls() {
    std::lock_guard lock(mutex);
    return calls;
  }
};

class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { g_bAutoUpdate = false; }
  void TearDown() override {
    m_Dialog.reset();
    // Start, Update Now and the refresh start the cycle only while no acquisition can fill
    // the catalogue.
    EXPECT_EQ(m_Journal.startsWithoutLock.load(), 0);
    g_bAutoUpdate = false;
    g_pStatusField = nullptr;
    g_pStartButton = nullptr;
    g_pEndButton = nullptr;
    g_pTimeField = nullptr;
  }

  DialogServices Services(int folderResult = 0) {
    DialogServices s;
    s.readSimulatorFolder = [folderResult] { return folderResult; };
    s.loadStations = [this](METAR_Stations&) { m_Journal.Add("load"); };
    s.stopUpdateCycle = [this] {
      m_Journal.Add("stop");
      m_Journal.stopRequested = true;
    };
    s.stopRequested = [this] { return m_Journal.stopRequested.load(); };
    s.prepareWeatherRun = [this] { m_Journal.Add("prepare"); };
    s.startUpdatePass = [this](bool background) {
      if (!CatalogueLockHeldHere()) ++m_Journal.startsWithoutLock;
      m_Journal.Add(background ? "pass:background" : "pass:foreground");
      if (background) ++m_Journal.backgroundStarts;
      m_Journal.stopRequested = false;
    };
    s.getCurrentWeather = [this](IWeatherOwner* owner) {
      m_Journal.Add(owner ? "current:owner" : "current:refresh");
      ++m_Journal.fetches;
      if (m_OnFetch) m_OnFetch();
    };
    s.getWeatherFromFile = [this](IWeatherOwner&) {
      m_Journal.Add("file");
      return 1;
    };
    s.refreshWaits = 3;
    s.refreshWait = 5ms;
    return s;
  }

  CALTIVANEDlg& Open(DialogServices services) {
    m_Dialog = std::make_unique<CALTIVANEDlg>(CALTIVANEDlg::Controls{&m_Status, &m_Start, &m_End, &m_Time},
                                              std::move(services));
    m_Dialog->OnInitDialog();
    return *m_Dialog;
  }

  std::pair<bool, bool> Buttons() const { return {m_Start.IsEnabled(), m_End.IsEnabled()}; }

  Journal m_Journal;
  std::function<void()> m_OnFetch;
  RecordingStatusField m_Status;
  RecordingButton m_Start{true};
  RecordingButton m_End{true};
  RecordingTimeField m_Time;
  std::unique_ptr<CALTIVANEDlg> m_Dialog;
};

TEST_F(MainDialogTest, StartAndEndFollowTheEnableTable) {
  auto& dlg = Open(Services());
  EXPECT_EQ(Buttons(), std::make_pair(false, false));  // window opens
  ASSERT_NE(g_pStations.load(), nullptr);
  EXPECT_EQ(g_pMainDlg.load(), &dlg);

  dlg.OnStart();
  EXPECT_EQ(Buttons(), std::make_pair(false, true));
  EXPECT_EQ(m_Journal.Calls(), (std::vector<std::string>{"load", "stop", "prepare", "pass:foreground"}));

  dlg.OnEnd();
  EXPECT_EQ(Buttons(), std::make_pair(true, false));

  dlg.OnUpdateNow();
  EXPECT_EQ(Buttons(), std::make_pair(false, true));
  auto calls = m_Journal.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], "current:owner");
  EXPECT_EQ(calls.back(), "pass:background");  // no second prepare for "Update Now"
}

TEST_F(MainDialogTest, UpdateNowAfterAFailedDownloadStillRestartsTheCycle) {
  auto services = Services();
  services.getCurrentWeather = [this](IWeatherOwner*) {
    SetStatusText("Error 1 at reading METAR data.");  // buttons keep their state on this failure
    m_Journal.Add("current");
  };
  auto& dlg = Open(std::move(services));
  m_Start.Enable(true);
  dlg.OnUpdateNow();
  EXPECT_EQ(m_Status.GetText(), "Error 1 at reading METAR data.");
  EXPECT_EQ(Buttons(), std::make_pair(false, true));
  EXPECT_EQ(m_Journal.Calls().back(), "pass:background");
}

TEST_F(MainDialogTest, NoSimulatorFolderLeavesNoCatalogueAndWeatherButtonsDoNothing) {
  auto& dlg = Open(Services(13));
  EXPECT_EQ(g_pStations.load(), nullptr);
  EXPECT_FALSE(dlg.WeatherButtonsEnabled());
  EXPECT_FALSE(m_Status.GetText().empty());
  dlg.OnGetCurrentWeather();
  dlg.OnGetWeatherFromFile();
  dlg.OnUpdateNow();
  EXPECT_TRUE(m_Journal.Calls().empty());
  EXPECT_EQ(Buttons(), std::make_pair(false, false));
}

TEST_F(MainDialogTest, UpdateCheckedBeforeStartRefreshesAfterTheWaitsAndRestartsInBackground) {
  m_OnFetch = [] { g_bAutoUpdate = false; };  // one refresh is enough
  auto& dlg = Open(Services());
  dlg.OnUpdateToggle();
  ASSERT_TRUE(g_bAutoUpdate);
  dlg.OnStart();
  ASSERT_TRUE(WaitFor([&] { return m_Journal.backgroundStarts.load() == 1; }));
  EXPECT_EQ(m_Journal.fetches.load(), 1);
  auto calls = m_Journal.Calls();
  EXPECT_EQ(calls[calls.size() - 2], "current:refresh");
  EXPECT_EQ(Buttons(), std::make_pair(false, true));
}

TEST_F(MainDialogTest, RefreshEndsWithoutFetchingWhenUncheckedOrEnded) {
  struct Case {
    const char* name;
    std::function<void(CALTIVANEDlg&)> action;
  } cases[] = {
      {"unchecked", [](CALTIVANEDlg& d) { d.OnUpdateToggle(); }},
      {"End pressed", [](CALTIVANEDlg& d) { d.OnEnd(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto services = Services();
    services.refreshWaits = 40;
    services.refreshWait = 5ms;  // 200 ms in all
    auto& dlg = Open(std::move(services));
    g_bAutoUpdate = true;
    dlg.OnStart();
    c.action(dlg);
    std::this_thread::sleep_for(400ms);  // well past the whole refresh time: nothing may come
    EXPECT_EQ(m_Journal.fetches.load(), 0);
    m_Dialog.reset();
    g_bAutoUpdate = false;
  }
}

// End pressed while the refresh fetches is final: the refresh does not start the cycle again
// nor schedule another refresh, and the buttons show the ended cycle.
TEST_F(MainDialogTest, EndDuringARefreshFetchIsFinal) {
  std::atomic<bool> fetching{false};
  std::atomic<bool> release{false};
  std::atomic<bool> fetched{false};
  m_OnFetch = [&] {
    fetching = true;
    WaitFor([&] { return release.load(); });
    // The fetch without owner leaves both buttons off, as the acquisition does.
    EnableStartButton(false);
    EnableEndButton(false);
    fetched = true;
  };
  auto services = Services();
  services.refreshWaits = 1;
  services.refreshWait = 1ms;
  auto& dlg = Open(std::move(services));
  g_bAutoUpdate = true;
  dlg.OnStart();
  ASSERT_TRUE(WaitFor([&] { return fetching.load(); }));
  dlg.OnEnd();  // answers at once: it does not wait for the fetch
  EXPECT_EQ(Buttons(), std::make_pair(true, false));
  const auto callsAtEnd = m_Journal.Calls();
  release = true;
  // After the fetch the refresh puts back what End showed, and does nothing else.
  ASSERT_TRUE(WaitFor([&] { return fetched.load() && Buttons() == std::make_pair(true, false); }));
  std::this_thread::sleep_for(100ms);  // many times the refresh wait: a new refresh would fetch
  EXPECT_EQ(m_Journal.fetches.load(), 1);
  EXPECT_EQ(m_Journal.backgroundStarts.load(), 0);
  EXPECT_EQ(m_Journal.Calls(), callsAtEnd);
  EXPECT_EQ(Buttons(), std::make_pair(true, false));
}

TEST_F(MainDialogTest, AtMostOneRefreshWaitsWhenTheCycleIsRestarted) {
  // Every waiting refresh looks at the stop bits after each wait: count the threads that look.
  std::mutex mutex;
  std::set<std::thread::id> lookers;
  auto services = Services();
  services.refreshWaits = 100000;
  services.refreshWait = 2ms;
  services.stopRequested = [&] {
    std::lock_guard lock(mutex);
    lookers.insert(std::this_thread::get_id());
    return false;
  };
  auto& dlg = Open(std::move(services));
  g_bAutoUpdate = true;
  dlg.OnStart();
  dlg.OnUpdateNow();
  dlg.OnStart();
  std::this_thread::sleep_for(50ms);
  {
    std::lock_guard lock(mutex);
    lookers.clear();
  }
  std::this_thread::sleep_for(100ms);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(lookers.size(), 1u);
  }
  // The refresh keeps looking until the window closes: close it while the set still exists.
  m_Dialog.reset();
}

TEST_F(MainDialogTest, ShutdownWaitsForAFetchingRefreshBeforeDeletingTheCatalogue) {
  std::atomic<bool> release{false};
  std::atomic<bool> fetching{false};
  std::atomic<bool> catalogueSeenAtEnd{false};
  m_OnFetch = [&] {
    fetching = true;
    WaitFor([&] { return release.load(); });
    catalogueSeenAtEnd = g_pStations.load() != nullptr;
    g_bAutoUpdate = false;
  };
  auto services = Services();
  services.refreshWaits = 1;
  services.refreshWait = 1ms;
  auto& dlg = Open(std::move(services));
  g_bAutoUpdate = true;
  dlg.OnStart();
  ASSERT_TRUE(WaitFor([&] { return fetching.load(); }));
  std::thread closer([&] { m_Dialog.reset(); });
  std::this_thread::sleep_for(50ms);
  release = true;
  closer.join();
  EXPECT_TRUE(catalogueSeenAtEnd);
  EXPECT_EQ(g_pStations.load(), nullptr);
  EXPECT_EQ(m_Journal.Calls().back(), "stop");  // nothing started after the final stop
}

// The time field starts at the time value 0 on the local clock, and reads back what it shows.
TEST_F(MainDialogTest, TimeFieldStartsAtTheLocalEpochAndReadsBackItsOwnText) {
#if !defined(_WIN32)
  struct ZoneBack {
    ~ZoneBack() { tzset(); }
  } zoneBack;  // after TZ is put back
  altivane::test::ScopedEnv zone("TZ", "CET-1");
  tzset();
#endif
  auto& dlg = Open(Services());
#if !defined(_WIN32)
  EXPECT_EQ(dlg.GetWeatherTime().time_since_epoch(), std::chrono::hours(1));
  EXPECT_EQ(m_Time.GetText(), FormatUserDateTime(1970, 1, 1, 1, 0, 0));
#endif
  const WeatherTime stamp = WeatherTime{std::chrono::sys_days{std::chrono::year{2003} / 12 / 6}} + 14h;
  dlg.SetWeatherTime(stamp);
  dlg.SetWeatherTime(WeatherTime{});
  EXPECT_TRUE(dlg.ReadTimeField(FormatUserDateTime(2003, 12, 6, 14, 0, 0)));
  EXPECT_EQ(dlg.GetWeatherTime(), stamp);
  EXPECT_FALSE(dlg.ReadTimeField("no time at all"));
  EXPECT_EQ(dlg.GetWeatherTime(), stamp);
}

TEST_F(MainDialogTest, AutomationObjectHidesTheWindowInsteadOfClosing) {
  auto& dlg = Open(Services());
  EXPECT_TRUE(dlg.CanExit());
  {
    CALTIVANEDlgAutoProxy proxy(&dlg);
    EXPECT_FALSE(dlg.OnClose());
    EXPECT_FALSE(dlg.OnOK());
    EXPECT_FALSE(dlg.OnCancel());
    EXPECT_TRUE(dlg.IsHidden());
  }
  EXPECT_EQ(dlg.m_pAutoProxy.load(), nullptr);
  EXPECT_TRUE(dlg.OnClose());
  // A window destroyed first leaves the object with no window rather than a stale one.
  CALTIVANEDlgAutoProxy proxy(&dlg);
  m_Dialog.reset();
  EXPECT_EQ(proxy.m_pDialog, nullptr);
}

}  // namespace
