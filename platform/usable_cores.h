#pragma once

namespace platform {

// The processors this process may keep busy: those of its affinity mask, fewer when the CPU
// quota of its control group (v2 cpu.max, v1 cpu.cfs_quota_us / cpu.cfs_period_us, the
// smallest along the way up to the hierarchy's root) allows less, rounded up. At least 1.
int usableCores();

} // namespace platform
