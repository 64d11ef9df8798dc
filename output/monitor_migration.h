// Monitor names left by older versions, repaired at start-up.
#pragma once

// Start-up, after SetUpPaths: gives entries without a usable monitor name a
// new one and renames the ".txt" monitor files of older versions to ".htm".
// Returns 0.
int MigrateMonitorFiles();
