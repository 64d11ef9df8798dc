// Printing the output pane, or its selection, through the common print dialog.
#pragma once

#include <windows.h>
#include <commdlg.h>

// The print dialog's record for the whole run: the printer and the settings
// chosen in the dialog stay for the next print.
extern PRINTDLGA PrintSetup;

// Fills PrintSetup once at start-up; the main window owns the dialog.
void InitPrintSetup(HWND mainWindow);
// Frees the printer settings the dialog allocated.
void FreePrintSetup();
// Asks for the printer and the pages, then prints under OutputMutex. Does
// nothing while a job runs (the job's own message loop could start another).
void PrintOutput(HWND owner);
// Prints the pane with pd's device context, copies, collation, selection and
// page range, with a window that can cancel the job, and ends the job (see
// EndPrintJob). A job that cannot start or fails on the way is reported with a
// box and returns 1; 0 when the document was ended as asked or cancelled.
int PrintRichText(PRINTDLGA& pd);
// Removes the cancel window and deletes pd's device context.
void EndPrintJob(PRINTDLGA& pd);
// The job's abort procedure: handles waiting messages, so that the cancel
// window works; FALSE once the job is cancelled.
BOOL CALLBACK PrintAbortProc(HDC dc, int code);
