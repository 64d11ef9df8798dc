// Start-up and shutdown times of the built program with many stored entries.
#pragma once

// Runs <build>/dist/Ombrelane.exe with "exitwhenidle" after storing 0, 1 000
// and 10 000 entries in the registry, and prints how long it takes from the
// start to the idle loop, and from there through the shutdown (which saves
// every entry) to the end; each beside a bare loop of registry calls that
// reads, or writes, the same values.
void StartupFigures();
