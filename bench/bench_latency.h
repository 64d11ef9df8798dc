// Fetching side by side against distant and dead servers.
#pragma once

// Prints the time of a queue of 200 entries one fetch at a time and eight at a time.
void LatencyFigures();
