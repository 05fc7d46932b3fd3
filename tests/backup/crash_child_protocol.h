#pragma once

#include <cstddef>

// What quillet_crash_child and the test that starts it agree on.
namespace quillet::testing {

inline constexpr char kCrashPassword[] = "crash-test password";
// The commit sets this value under this key, below both registry roots.
inline constexpr char kCrashKey[] = "Software\\Quillet crash test";
inline constexpr char kCrashValueName[] = "Marker";
inline constexpr char kCrashNewValue[] = "written by the commit";
// Each write through the seam writes at most this much, so that content takes several steps.
inline constexpr std::size_t kCrashWriteSize = 4096;

}  // namespace quillet::testing
