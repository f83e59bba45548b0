#include "acquire/get_weather.h"

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>

#include "acquire/internet_settings.h"
#include "acquire/url_downloader.h"
#include "acquire/weather_files.h"
#include "acquire/weather_sources.h"
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
// Appends the files in order into target, replacing it in one step.
bool JoinFiles(const std::vector<std::string>& parts, const std::string& target) {
  const std::string joined = target + ".joined";
  std::FILE* out = OpenNativeFile(joined, "wb");
  if (!out) return false;
  bool ok = true;
  std::vector<char> buffer(65536);
  for (const std::string& part : parts) {
    std::FILE* in = OpenNativeFile(part, "rb");
    if (!in) {
      ok = false;
      break;
    }
    std::size_t got = 0;
    while (ok && (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
      ok = std::fwrite(buffer.data(), 1, got, out) == got;
    std::fclose(in);
  }
  ok = std::fclose(out) == 0 && ok;
  if (ok) ok = ReplaceNativeFile(joined, target);
  if (!ok) RemoveNativeFile(joined);
  return ok;
}

// An upper-air file is kept for its half day only once the soundings were in when it was
// fetched (some time after the sounding hour) and it holds at least one; else it is fetched
// again.
bool UpperAirFileSettled(const std::string& path, const UtcHour& now) {
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(NativePath(path), ec);
  if (ec) return false;
  const auto writtenUtc = std::chrono::file_clock::to_sys(written);
  const UtcHour sounding{now.year, now.month, now.day, now.hour < 12 ? 0 : 12};
  const auto settledFrom = ToWeatherTime(sounding) + std::chrono::hours{kUpperAirSettledHours};
  return writtenUtc >= settledFrom && HoldsSounding(path);
}

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
  context.readMetarFile = [](METAR_Stations& catalogue, const std::string& path, WeatherTime reference,
                             WeatherTime oldest) { return catalogue.ReadMetarFile(path, reference, oldest); };
  context.readUpperAirFile = [](METAR_Stations& catalogue, const std::string& path) {
    return catalogue.ReadUpperAirFile(path);
  };
  context.clock = [] { return std::chrono::system_clock::now(); };
  context.holdsReports = HoldsMetarReport;
  return context;
}

GetWeatherfromFile::GetWeatherfromFile(AcquireContext context) : m_Context(std::move(context)) {}

bool GetWeatherfromFile::ReadMetar(const std::string& path, WeatherTime reference, WeatherTime oldest) {
  if (!m_Context.stations || !m_Context.readMetarFile) return false;
  return m_Context.readMetarFile(*m_Context.stations, path, reference, oldest);
}

bool GetWeatherfromFile::ReadUpperAir(const std::string& path) {
  if (!m_Context.stations || !m_Context.readUpperAirFile) return false;
  return m_Context.readUpperAirFile(*m_Context.stations, path);
}

// Only weather is kept: an answer other than 200 (a 404 page) or a body that is not weather (an
// error text, a web page, packed or binary data) counts as a failed download (result 2) and
// leaves the weather folder as it was, so it is never read as weather nor taken for a cached
// copy later. Several URLs: their bodies, each checked, are appended in order into the one
// file; the ones that fail are left out, and only when all fail does the download fail.
DownloadResult GetWeatherfromFile::Download(const WeatherSource& source, WeatherBodyKind kind, std::string* reason) {
  const std::size_t count = source.urls.size();
  std::vector<std::string> fetched;
  DownloadResult failure = kDownloadFailed;
  std::string firstReason = "no source URL.";
  bool failedBefore = false;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string target = count == 1 ? source.localPath : source.localPath + ".source" + std::to_string(i);
    CURLDownloader downloader;
    downloader.m_bSaveOnlyOk = true;
    downloader.m_bLocalProxies = source.localProxies;
    downloader.m_fnCheckBody = [kind](const std::string& path, std::string& why) {
      why = WhyNotWeather(path, kind);
      return why.empty();
    };
    DownloadResult one = downloader.DownloadToFile(source.urls[i], target);
    std::string why = downloader.m_strReason;
    if (one == kDownloadDone && downloader.m_nStatusCode != 200) {
      one = kDownloadFailed;
      why = "the server answered with status " + std::to_string(downloader.m_nStatusCode) + ".";
    }
    if (one == kDownloadDone) {
      fetched.push_back(target);
    } else if (!failedBefore) {
      failedBefore = true;
      failure = one;
      firstReason = why;
    }
  }
  DownloadResult result = fetched.empty() ? failure : kDownloadDone;
  if (count > 1 && !fetched.empty() && !JoinFiles(fetched, source.localPath)) {
    result = kDownloadFailed;
    firstReason = "cannot write the local file " + source.localPath + ".";
  }
  if (count > 1) {
    for (const std::string& part : fetched) RemoveNativeFile(part);
  }
  if (reason) *reason = result == kDownloadDone ? std::string() : firstReason;
  return result;
}

void GetWeatherfromFile::GetCurrentWeather(IWeatherOwner* owner) {
  std::lock_guard lock(CatalogueLock());
  if (m_Context.stopUpdateCycle) m_Context.stopUpdateCycle();

  const UtcHour now = UtcHourOf(m_Context.clock ? m_Context.clock() : std::chrono::system_clock::now());
  const UtcHour before = AddHours(now, -1);
  const WeatherSources sources = PlanWeatherSources(ReadAcquireSettings(), now, WeatherFolder());

  CreateWeatherFolder();

  std::string reason;
  const DownloadResult result = Download(sources.current, WeatherBodyKind::Metar, &reason);
  if (result != kDownloadDone) {
    SetStatusText(DownloadErrorText(result, "METAR data", reason));
    return;
  }
  SetStatusText("METAR data file readed.");

  // The complete file of an hour that has ended never changes: fetch it once.
  if (!CanOpenForReading(sources.complete.localPath)) Download(sources.complete, WeatherBodyKind::Metar);

  if (m_Context.stopUpdateCycle) m_Context.stopUpdateCycle();

  // The surface weather is worth having without the upper air.
  const bool upperAir = GetCurrentUpperAir();
  const std::string upperAirStatus = m_UpperAirStatus;
  const WeatherTime oldestComplete = ToWeatherTime(before) - std::chrono::hours{kStaleReportHours};
  const WeatherTime oldestCurrent = ToWeatherTime(now) - std::chrono::hours{kStaleReportHours};
  // The current hour's file reaches back into the hour before; the complete file of that hour
  // adds to it when there is one.
  ReadMetar(sources.complete.localPath, NoAgeLimit(), oldestComplete);
  const bool ok = ReadMetar(sources.current.localPath, NoAgeLimit(), oldestCurrent);
  if (ok) SetStatusText(FetchSummary(sources, upperAir, upperAirStatus));
  if (ok && owner) {
    EnableStartButton(true);
    EnableEndButton(false);
  } else {
    EnableStartButton(false);
    EnableEndButton(false);
  }
}

// "Weather from tgftp.nws.noaa.gov: 4321 stations with METAR reports; winds aloft from
// mesonet.agron.iastate.edu: 85 stations." or, without upper air, "...; winds and temperatures
// aloft missing (Error 2 at reading Winds aloft: ...)."
std::string GetWeatherfromFile::FetchSummary(const WeatherSources& sources, bool upperAir,
                                             const std::string& upperAirStatus) const {
  std::size_t surface = 0;
  std::size_t aloft = 0;
  if (m_Context.stations) {
    for (const auto& [key, record] : m_Context.stations->Records()) {
      if (const METAR_Station* station = record ? record->AsReportStation() : nullptr)
        surface += station->m_ReportValid == 1 ? 1 : 0;
    }
    aloft = m_Context.stations->m_UpperAirStations.size();
  }
  const std::string metarHost = sources.current.urls.empty() ? "" : HostOfUrl(sources.current.urls.front());
  const std::string upperHost = sources.upperAir.urls.empty() ? "" : HostOfUrl(sources.upperAir.urls.front());
  std::string text = "Weather from " + metarHost + ": " + std::to_string(surface) + " stations with METAR reports";
  if (upperAir && aloft > 0) {
    text += "; winds aloft from " + upperHost + ": " + std::to_string(aloft) + " stations.";
  } else {
    std::string why = upperAirStatus.rfind("Error", 0) == 0 ? upperAirStatus : "no sounding in the file";
    while (!why.empty() && why.back() == '.') why.pop_back();
    text += "; winds and temperatures aloft missing (" + why + ").";
  }
  return text;
}

bool GetWeatherfromFile::GetCurrentUpperAir() {
  std::lock_guard lock(CatalogueLock());
  const UtcHour now = UtcHourOf(m_Context.clock ? m_Context.clock() : std::chrono::system_clock::now());
  const WeatherSources sources = PlanWeatherSources(ReadAcquireSettings(), now, WeatherFolder());
  const std::string& localPath = sources.upperAir.localPath;
  m_UpperAirStatus.clear();
  if (CanOpenForReading(localPath) && UpperAirFileSettled(localPath, now)) {
    SetStatusText("Winds aloft file from hard disk readed.");
  } else {
    CreateWeatherFolder();
    std::string reason;
    const DownloadResult result = Download(sources.upperAir, WeatherBodyKind::UpperAir, &reason);
    if (result == kDownloadDone) {
      SetStatusText("Winds aloft file readed.");
    } else {
      // An earlier copy, if any, is still read below.
      m_UpperAirStatus = DownloadErrorText(result, "Winds aloft", reason);
      SetStatusText(m_UpperAirStatus);
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

  // Reports long before a file's own hour are not its weather.
  const auto stale = std::chrono::hours{kStaleReportHours};
  if (inProgress && stamp) {
    const UtcHour before = AddHours(*stamp, -1);
    ReadMetar(FolderOf(path) + CompleteMetarFileName(before), reference, ToWeatherTime(before) - stale);
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
  if (!ReadMetar(path, reference, stamp ? reference - stale : WeatherTime::min())) return 0;

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
