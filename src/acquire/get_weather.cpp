#include "acquire/get_weather.h"

#include <filesystem>
#include <mutex>
#include <optional>

#include "acquire/internet_settings.h"
#include "acquire/url_downloader.h"
#include "acquire/weather_files.h"
#include "platform/controls.h"
#include "platform/paths.h"
#include "reports/metar_decoder.h"
#include "stations/sim_folder.h"
#include "platform/dialogs.h"
#include "platform/locale_time.h"
#include "stations/metar_stations.h"

namespace {

bool IsDigits(const std::string& text, std::size_t pos, std::size_t count) {
  if (pos + count > text.size()) return false;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

int Number(const std::string& text, std::size_t pos, std::size_t count) { return std::stoi(text.substr(pos, count)); }

// The stamp "YYYYMMDD_HHMM" that starts fromEnd characters before the end of the path:
// "...\20031206_1400Z.TXT" with 18 -> 6 Dec 2003 14:00. None when the name does not fit.
std::optional<UtcHour> StampOf(const std::string& path, std::size_t fromEnd) {
  if (path.size() < fromEnd) return std::nullopt;
  const std::string stamp = path.substr(path.size() - fromEnd, 13);
  if (!IsDigits(stamp, 0, 8) || !IsDigits(stamp, 9, 2)) return std::nullopt;
  return MakeUtcHour(Number(stamp, 0, 4), Number(stamp, 4, 2), Number(stamp, 6, 2), Number(stamp, 9, 2));
}

// m_ReportDate "2003/12/06" and m_ReportTime "13:50" -> 6 Dec 2003 13:00.
std::optional<UtcHour> ReportHourOf(const std::string& date, const std::string& time) {
  if (date.size() < 8 || !IsDigits(date, 0, 4) || !IsDigits(date, 5, 2) || !IsDigits(date, date.size() - 2, 2) ||
      !IsDigits(time, 0, 2)) {
    return std::nullopt;
  }
  return MakeUtcHour(Number(date, 0, 4), Number(date, 5, 2), Number(date, date.size() - 2, 2), Number(time, 0, 2));
}

// The folder part of a path, with its separator: "D:\W\x.TXT" -> "D:\W\".
std::string FolderOf(const std::string& path) {
  const auto separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// The weather folder belongs to the installation, but a missing one would make every download
// fail with nowhere to save. Without a simulator folder there is none to make (and no reason
// to make one below the working folder): the downloads then fail.
void CreateWeatherFolder() {
  if (g_SimFolder.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(NativePath(WeatherFolder()), ec);
}

}  // namespace

// Recursive: GetCurrentWeather holds it while it calls GetCurrentUpperAir, and the window
// holds it while it fetches and then starts the cycle.
std::recursive_mutex& CatalogueLock() {
  static std::recursive_mutex mutex;
  return mutex;
}

std::string DownloadErrorText(DownloadResult result, const std::string& what, const std::string& reason) {
  std::string text = "Error " + std::to_string(result) + " at reading " + what;
  return reason.empty() ? text + "." : text + ": " + reason;
}

AcquireContext CatalogueContext(METAR_Stations* stations) {
  AcquireContext context;
  context.stations = stations;
  context.readMetarFile = [](METAR_Stations& catalogue, const std::string& path, WeatherTime reference) {
    return catalogue.ReadMetarFile(path, reference);
  };
  context.readUpperAirFile = [](METAR_Stations& catalogue, const std::string& path) {
    return catalogue.ReadUpperAirFile(path);
  };
  context.clock = [] { return std::chrono::system_clock::now(); };
  context.holdsReports = HoldsMetarReport;
  return context;
}

GetWeatherfromFile::GetWeatherfromFile(AcquireContext context) : m_Context(std::move(context)) {}

bool GetWeatherfromFile::ReadMetar(const std::string& path, WeatherTime reference) {
  if (!m_Context.stations || !m_Context.readMetarFile) return false;
  return m_Context.readMetarFile(*m_Context.stations, path, reference);
}

bool GetWeatherfromFile::ReadUpperAir(const std::string& path) {
  if (!m_Context.stations || !m_Context.readUpperAirFile) return false;
  return m_Context.readUpperAirFile(*m_Context.stations, path);
}

// Only the file itself is kept: a 404 page or any other answer but 200 counts as a failed
// download (result 2) and leaves the weather folder as it was, so it is never read as weather
// nor taken for a cached copy later.
DownloadResult GetWeatherfromFile::Download(const std::string& server, const std::string& urlPath,
                                            const std::string& localPath, std::string* reason) {
  CURLDownloader downloader;
  downloader.m_bSaveOnlyOk = true;
  DownloadResult result = downloader.DownloadToFile("http://" + server + urlPath, localPath);
  if (reason) *reason = downloader.m_strReason;
  if (result == kDownloadDone && downloader.m_nStatusCode != 200) {
    result = kDownloadFailed;
    if (reason) *reason = "the server answered with status " + std::to_string(downloader.m_nStatusCode) + ".";
  }
  return result;
}

void GetWeatherfromFile::GetCurrentWeather(IWeatherOwner* owner) {
  std::lock_guard lock(CatalogueLock());
  if (m_Context.stopUpdateCycle) m_Context.stopUpdateCycle();

  const UtcHour now = UtcHourOf(m_Context.clock ? m_Context.clock() : std::chrono::system_clock::now());
  const UtcHour before = AddHours(now, -1);
  const AcquireSettings settings = ReadAcquireSettings();
  const std::string folder = WeatherFolder();
  const std::string currentPath = folder + CurrentMetarFileName(now);
  const std::string completePath = folder + CompleteMetarFileName(before);

  CreateWeatherFolder();

  std::string reason;
  const DownloadResult result = Download(settings.metarServer, MetarUrlPath(now), currentPath, &reason);
  if (result != kDownloadDone) {
    SetStatusText(DownloadErrorText(result, "METAR data", reason));
    return;
  }
  SetStatusText("METAR data file readed.");

  // The complete file of an hour that has ended never changes: fetch it once.
  if (!CanOpenForReading(completePath)) Download(settings.metarServer, MetarUrlPath(before), completePath);

  if (m_Context.stopUpdateCycle) m_Context.stopUpdateCycle();

  const bool ok = GetCurrentUpperAir() && ReadMetar(completePath, NoAgeLimit()) && ReadMetar(currentPath, NoAgeLimit());
  if (ok && owner) {
    EnableStartButton(true);
    EnableEndButton(false);
  } else {
    EnableStartButton(false);
    EnableEndButton(false);
  }
}

bool GetWeatherfromFile::GetCurrentUpperAir() {
  std::lock_guard lock(CatalogueLock());
  const UtcHour now = UtcHourOf(m_Context.clock ? m_Context.clock() : std::chrono::system_clock::now());
  const std::string localPath = WeatherFolder() + UpperAirFileName(now);
  if (CanOpenForReading(localPath)) {
    SetStatusText("Winds aloft file from hard disk readed.");
  } else {
    CreateWeatherFolder();
    std::string reason;
    const DownloadResult result =
        Download(ReadAcquireSettings().radiosondeServer, UpperAirUrlPath(now), localPath, &reason);
    if (result == kDownloadDone) {
      SetStatusText("Winds aloft file readed.");
    } else {
      SetStatusText(DownloadErrorText(result, "Winds aloft", reason));
    }
  }
  return ReadUpperAir(localPath);
}

int GetWeatherfromFile::GetWeatherFromFile(IWeatherOwner& owner) {
  m_pOwner = &owner;
  OpenFileRequest request;
  request.filter = kMetarFileFilter;
  request.initialFolder = WeatherFolder();
  request.ownedByMainWindow = true;
  std::string path;
  if (!AskOpenFile(request, path)) return 0;
  // ReadWeatherFiles stops the update cycle once it holds the catalogue lock.
  return ReadWeatherFiles(path);
}

int GetWeatherfromFile::ReadWeatherFiles(const std::string& path) {
  // A pick that cannot give weather is refused before the cycle, the weather time or anything
  // else changes.
  if (!CanOpenForReading(path)) {
    SetStatusText("Cannot read " + path + ".");
    return 0;
  }
  if (m_Context.holdsReports && !m_Context.holdsReports(path)) {
    SetStatusText("No reports in " + path + ".");
    return 0;
  }
  std::unique_lock lock(CatalogueLock());
  if (m_Context.stopUpdateCycle) m_Context.stopUpdateCycle();
  // An hour in progress ("..._1400Z.TXT") comes with the complete file of the hour before;
  // anything else ("..._1300Z_Complete.TXT") stands alone.
  const bool inProgress = path.size() >= 5 && path.compare(path.size() - 5, 5, "Z.TXT") == 0;
  const std::optional<UtcHour> stamp = StampOf(path, inProgress ? 18 : 27);
  // A name without a stamp has no time to limit the reports by: all of them count.
  const WeatherTime reference = stamp ? ToWeatherTime(*stamp) : NoAgeLimit();

  if (inProgress && stamp) {
    ReadMetar(FolderOf(path) + CompleteMetarFileName(AddHours(*stamp, -1)), reference);
  }
  if (stamp) {
    // The main window shows its weather time itself; without one, the field is written here.
    if (m_pOwner) {
      m_pOwner->SetWeatherTime(reference);
    } else if (ITimeField* field = g_pTimeField.load()) {
      field->SetText(FormatUserDateTime(stamp->year, stamp->month, stamp->day, stamp->hour, 0, 0));
    }
  }

  if (m_Context.stations) {
    m_Context.stations->m_ReportDate.clear();
    m_Context.stations->m_ReportTime.clear();
  }
  if (!ReadMetar(path, reference)) return 0;

  std::string upperAirPath;
  if (SearchUpperAirFile(upperAirPath)) {
    EnableStartButton(ReadUpperAir(upperAirPath));
    return 1;
  }

  // The question waits for the user: let the periodic refresh go on meanwhile.
  lock.unlock();
  if (!AskYesNo(kNoUpperAirQuestion, kQuestionCaption)) return 0;
  const bool chosen = SelectUpperAirFile(nullptr);
  EnableStartButton(chosen);
  EnableEndButton(false);
  return 1;
}

// The upper-air file nearest the first report of the file read last: its hour, then one hour
// later, one earlier, two later ... twelve earlier. At equal distance the later file wins.
bool GetWeatherfromFile::SearchUpperAirFile(std::string& found) {
  if (!m_Context.stations) return false;
  const std::optional<UtcHour> centre =
      ReportHourOf(m_Context.stations->m_ReportDate, m_Context.stations->m_ReportTime);
  // A file without reports has no time to search around.
  if (!centre) return false;
  const std::string folder = WeatherFolder();
  for (int distance = 0; distance <= kUpperAirSearchHours; ++distance) {
    for (int sign : {+1, -1}) {
      if (distance == 0 && sign < 0) continue;
      const std::string candidate = folder + UpperAirFileNameAt(AddHours(*centre, sign * distance));
      if (CanOpenForReading(candidate)) {
        found = candidate;
        return true;
      }
    }
  }
  return false;
}

bool GetWeatherfromFile::SelectUpperAirFile(IWeatherOwner* owner) {
  OpenFileRequest request;
  request.filter = kRadiosondeFileFilter;
  request.initialFolder = WeatherFolder();
  request.ownedByMainWindow = owner != nullptr;
  std::string path;
  if (!AskOpenFile(request, path)) return false;
  // The cycle may have been started again while the user chose (a periodic refresh).
  std::lock_guard lock(CatalogueLock());
  if (m_Context.stopUpdateCycle) m_Context.stopUpdateCycle();
  ReadUpperAir(path);
  return true;
}
