// The window side of the jobs layer's events: status bar, list rows, boxes.
#pragma once

// Main thread, before the task thread starts.
void InstallJobEventHandlers();
