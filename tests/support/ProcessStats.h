#pragma once
// What this process holds and spends, read from /proc and getrusage: descriptors and threads
// left behind, CPU used by named threads or by the whole process. Safe on any thread.

#include <chrono>
#include <string_view>

namespace kelta::test {

int OpenDescriptorCount();
int ThreadCount();
// CPU time (user + system) used so far by the live threads whose name starts with prefix
// (the serial port's workers are named "VaComm...").
std::chrono::milliseconds ThreadCpuTime(std::string_view prefix);
// User + system CPU time of the whole process.
std::chrono::microseconds ProcessCpuTime();
// Resident memory of the whole process, in KiB (0 when /proc does not say).
long ResidentKiB();
// The peak of the resident memory ("VmHWM"), in KiB (0 when /proc does not say), and its reset
// to the present resident memory; false when the system does not allow that (then the peak is
// that of the whole run so far).
long PeakResidentKiB();
bool ResetPeakResident();

}  // namespace kelta::test
