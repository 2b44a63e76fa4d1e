#pragma once

// Named points inside the writes of the store files and inside the calls,
// where a crash test can stop the process dead to show that no file is ever
// left empty or half written and that no customer is lost. Only a test build defines TQ3_FAULT_INJECTION and, with it, the
// function; everywhere else a fault point compiles to nothing.
namespace tq3 {

#ifdef TQ3_FAULT_INJECTION
void faultPoint(const char *name);
#else
inline void faultPoint(const char *) {}
#endif

namespace fault {
// PercorsiClient.txt: the temporary file half written, wholly written and
// flushed (not yet renamed over the old file), and the rename done.
inline constexpr char kSettingsTempHalfWritten[] = "settings-temp-half-written";
inline constexpr char kSettingsTempWritten[] = "settings-temp-written";
inline constexpr char kSettingsReplaced[] = "settings-replaced";
// Number file: the new record written over the old one, then the file cut
// to the record's length.
inline constexpr char kNumberWritten[] = "number-written";
inline constexpr char kNumberTruncated[] = "number-truncated";
// A call: Attesa lowered (selective) or the ticket marked (automatic), each
// with its journal entry; and the datagram about to leave.
inline constexpr char kCallLowered[] = "call-lowered";
inline constexpr char kCallMarked[] = "call-marked";
inline constexpr char kCallBeforeSend[] = "call-before-send";
} // namespace fault

} // namespace tq3
