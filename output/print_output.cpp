#include "output/print_output.h"

#include <richedit.h>
#include <algorithm>

#include "entries/message_box.h"
#include "output/output_window.h"
#include "output/page_renderer.h"
#include "resources/resource.h"

PRINTDLGA PrintSetup;

namespace {

constexpr int TWIPS_PER_INCH = 1440;
// Pages wider than 2.5 inches get three-quarter-inch sides; pages higher
// than 3 inches one-inch tops and bottoms.
constexpr LONG NARROWEST_WITH_SIDES = 3600;
constexpr LONG SIDE_MARGIN = 1080;
constexpr LONG LOWEST_WITH_TOP_AND_BOTTOM = 4320;
constexpr LONG TOP_AND_BOTTOM_MARGIN = 1440;
constexpr WORD ANY_PAGE = 0xFFFF;
constexpr char PRINT_TITLE[] = "Print";
constexpr char JOB_FAILED[] = "The print job failed before it was finished.";
constexpr char NO_PAGE_IN_RANGE[] = "The output has no pages in the range chosen.";

HWND cancelWindow;
bool printCancelled;
// From the print dialog to the end of the job.
bool printing;

// One job's pages: laid out by the control, or by our own renderer where the
// control lays out nothing.
struct PrintJob {
    HDC dc;
    // Page and text rectangles in twips; chrg is the range laid out last.
    FORMATRANGE layout;
    int32_t first;
    int32_t end;
    bool ownRenderer;
    PageRenderer renderer;
    int printedPages;
};

enum class JobOutcome { Printed, Failed, NothingInRange };

INT_PTR CALLBACK CancelProcedure(HWND, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        printCancelled = true;
        return TRUE;
    }
    return FALSE;
}

void SetPageGeometry(FORMATRANGE& layout, HDC dc)
{
    const LONG width = MulDiv(GetDeviceCaps(dc, PHYSICALWIDTH), TWIPS_PER_INCH, GetDeviceCaps(dc, LOGPIXELSX));
    const LONG height = MulDiv(GetDeviceCaps(dc, PHYSICALHEIGHT), TWIPS_PER_INCH, GetDeviceCaps(dc, LOGPIXELSY));
    layout.hdc = dc;
    layout.hdcTarget = dc;
    layout.rcPage = {0, 0, width, height};
    layout.rc = layout.rcPage;
    if (width > NARROWEST_WITH_SIDES) {
        layout.rc.left = SIDE_MARGIN;
        layout.rc.right = width - SIDE_MARGIN;
    }
    if (height > LOWEST_WITH_TOP_AND_BOTTOM) {
        layout.rc.top = TOP_AND_BOTTOM_MARGIN;
        layout.rc.bottom = height - TOP_AND_BOTTOM_MARGIN;
    }
}

int32_t LayOutPage(PrintJob& job, int32_t start)
{
    if (job.ownRenderer)
        return LayOutTextPage(job.renderer, start);
    job.layout.chrg = {start, job.end};
    return static_cast<int32_t>(
        SendMessageA(OutputWindow, EM_FORMATRANGE, FALSE, reinterpret_cast<LPARAM>(&job.layout)));
}

bool DrawPage(PrintJob& job)
{
    if (job.ownRenderer)
        return DrawTextPage(job.renderer);
    return SendMessageA(OutputWindow, EM_DISPLAYBAND, 0, reinterpret_cast<LPARAM>(&job.layout.rc)) != 0;
}

// The text to print is read once, so every copy is the same document even
// if the user moves the selection while the job runs. A control that lays
// out nothing of a text that is there cannot print (some rich edit controls
// only pretend to): the job then uses our own renderer, as it does for an
// empty page, which needs no drawing at all.
bool SetUpJob(PrintJob& job, const PRINTDLGA& pd)
{
    job.dc = pd.hDC;
    SetPageGeometry(job.layout, pd.hDC);
    job.first = 0;
    job.end = GetWindowTextLengthA(OutputWindow);
    const bool selectionOnly = (pd.Flags & PD_SELECTION) != 0;
    if (selectionOnly) {
        CHARRANGE selection = {0, 0};
        SendMessageA(OutputWindow, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
        job.first = selection.cpMin;
        if (selection.cpMax >= selection.cpMin)
            job.end = selection.cpMax;
    }
    job.ownRenderer = job.first >= job.end || LayOutPage(job, job.first) <= job.first;
    if (!job.ownRenderer)
        return true;
    if (LoadPageText(job.renderer, OutputWindow, selectionOnly) != 0)
        return false;
    BeginPageRendering(job.renderer, pd.hDC, job.layout.rc);
    job.first = 0;
    job.end = static_cast<int32_t>(job.renderer.text.size());
    return true;
}

bool PageWanted(const PRINTDLGA& pd, int page)
{
    return !(pd.Flags & PD_PAGENUMS) || (page >= pd.nFromPage && page <= pd.nToPage);
}

bool PastRange(const PRINTDLGA& pd, int page)
{
    return (pd.Flags & PD_PAGENUMS) && page >= pd.nToPage;
}

// A cancel makes the printing system refuse pages too; that is no failure.
bool PrintPage(PrintJob& job)
{
    if (StartPage(job.dc) <= 0)
        return printCancelled;
    const bool drawn = DrawPage(job);
    const bool ended = EndPage(job.dc) > 0;
    // Some printing systems never call the abort procedure themselves.
    PrintAbortProc(job.dc, 0);
    if (drawn && ended)
        ++job.printedPages;
    return (drawn && ended) || printCancelled;
}

// One pass over the document's pages, each printed copies times in a row.
// Every page must move the text on: a layout that does not fails the job.
bool PrintPass(PrintJob& job, const PRINTDLGA& pd, int copies)
{
    int32_t position = job.first;
    for (int page = 1;; ++page) {
        const int32_t next = LayOutPage(job, position);
        if (next <= position && position < job.end)
            return false;
        position = next;
        for (int copy = 0; copy < copies && !printCancelled && PageWanted(pd, page); ++copy) {
            if (!PrintPage(job))
                return false;
        }
        if (printCancelled || position >= job.end || PastRange(pd, page))
            return true;
    }
}

JobOutcome PrintPages(PRINTDLGA& pd)
{
    PrintJob job = {};
    if (!SetUpJob(job, pd))
        return JobOutcome::Failed;
    int passes = 1;
    if (pd.Flags & PD_COLLATE) {
        passes = std::max<int>(1, pd.nCopies);
        pd.nCopies = 1;
    }
    const int copies = std::max<int>(1, pd.nCopies);
    bool printed = true;
    for (int pass = 0; pass < passes && printed && !printCancelled; ++pass)
        printed = PrintPass(job, pd, copies);
    // The control keeps what it laid out until told to let it go.
    SendMessageA(OutputWindow, EM_FORMATRANGE, FALSE, 0);
    if (!printed)
        return JobOutcome::Failed;
    return job.printedPages == 0 && !printCancelled ? JobOutcome::NothingInRange : JobOutcome::Printed;
}

}

void InitPrintSetup(HWND mainWindow)
{
    ZeroMemory(&PrintSetup, sizeof PrintSetup);
    PrintSetup.lStructSize = sizeof PrintSetup;
    PrintSetup.hwndOwner = mainWindow;
    PrintSetup.Flags = PD_RETURNDC | PD_SHOWHELP | PD_DISABLEPRINTTOFILE;
    PrintSetup.nFromPage = ANY_PAGE;
    PrintSetup.nToPage = ANY_PAGE;
    PrintSetup.nMinPage = 0;
    PrintSetup.nMaxPage = ANY_PAGE;
    PrintSetup.nCopies = 1;
}

void FreePrintSetup()
{
    if (PrintSetup.hDevMode)
        GlobalFree(PrintSetup.hDevMode);
    if (PrintSetup.hDevNames)
        GlobalFree(PrintSetup.hDevNames);
    PrintSetup.hDevMode = nullptr;
    PrintSetup.hDevNames = nullptr;
}

void PrintOutput(HWND owner)
{
    if (printing)
        return;
    printing = true;
    PrintSetup.hwndOwner = owner;
    if (PrintDlgA(&PrintSetup)) {
        LockOutput();
        PrintRichText(PrintSetup);
        UnlockOutput();
    }
    printing = false;
}

int PrintRichText(PRINTDLGA& pd)
{
    printCancelled = false;
    cancelWindow = nullptr;
    SetAbortProc(pd.hDC, PrintAbortProc);
    DOCINFOA document = {sizeof document, "Ombrelane Output Print", nullptr, nullptr, 0};
    if (StartDocA(pd.hDC, &document) <= 0) {
        ShowMessageBox("Couldn't start a print job.", PRINT_TITLE);
        EndPrintJob(pd);
        return 1;
    }
    cancelWindow = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PRINT_CANCEL), pd.hwndOwner,
                                      CancelProcedure, 0);
    const JobOutcome outcome = PrintPages(pd);
    bool failed = outcome == JobOutcome::Failed;
    if (outcome == JobOutcome::Printed)
        failed = EndDoc(pd.hDC) <= 0 && !printCancelled;
    else
        AbortDoc(pd.hDC);  // a job that failed or has no page is thrown away, not sent half made
    EndPrintJob(pd);
    if (failed) {
        ShowMessageBox(JOB_FAILED, PRINT_TITLE);
        return 1;
    }
    if (outcome == JobOutcome::NothingInRange) {
        ShowMessageBox(NO_PAGE_IN_RANGE, PRINT_TITLE, MB_OK | MB_ICONINFORMATION);
        return 1;
    }
    return 0;
}

void EndPrintJob(PRINTDLGA& pd)
{
    if (cancelWindow) {
        DestroyWindow(cancelWindow);
        cancelWindow = nullptr;
    }
    DeleteDC(pd.hDC);
    pd.hDC = nullptr;
}

BOOL CALLBACK PrintAbortProc(HDC, int)
{
    if (!cancelWindow)
        return TRUE;
    MSG message;
    while (!printCancelled && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        // The program's end cannot wait for the job: the job stops and the
        // message loop gets its quit message back.
        if (message.message == WM_QUIT) {
            printCancelled = true;
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (!IsDialogMessageA(cancelWindow, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return printCancelled ? FALSE : TRUE;
}
