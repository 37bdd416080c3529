// The files of the per-user data folder, named once.
#pragma once

namespace ka {

inline constexpr const char* kParFileName = "KorvaneAuto.par";          // the 23-line settings
inline constexpr const char* kRunSettingsFileName = "KorvaneAuto.ini";  // the settings beyond
inline constexpr const char* kComLineFileName = "Korvaneline.txt";      // the converter's record
inline constexpr const char* kJournalFileName = "Korvanejobs.txt";      // the run's journal
inline constexpr const char* kReportFileName = "RunReport.log";
inline constexpr const char* kOldReportFileName = "RunReport.old.log";
inline constexpr const char* kRunLockFileName = "KorvaneAuto.lock";
inline constexpr const char* kStandbyLockFileName = "Standby.lock";
inline constexpr const char* kFirstSnapshotFileName = "FList1.txt";
inline constexpr const char* kSecondSnapshotFileName = "FList2.txt";
inline constexpr const char* kWorkListFileName = "FList.txt";
inline constexpr const char* kCompareLogFileName = "Compar2.log";  // beside the data folder

}  // namespace ka
