#include "output/find_output.h"

#include <richedit.h>
#include <cstdio>

#include "entries/message_box.h"
#include "output/output_window.h"
#include "resources/resource.h"

namespace {

constexpr int SEARCH_TEXT_SIZE = 128;

struct FindState {
    char searchText[SEARCH_TEXT_SIZE];
    // FR_MATCHCASE and FR_WHOLEWORD.
    DWORD optionFlags;
    bool haveSearch;
    // chrg: where the next search starts, to the end; chrgText: the last match.
    FINDTEXTEXA range;
};

FindState findState;

void InitFindDialog(HWND dialog)
{
    SendDlgItemMessageA(dialog, IDC_FIND_TEXT, EM_LIMITTEXT, SEARCH_TEXT_SIZE, 0);
    SetDlgItemTextA(dialog, IDC_FIND_TEXT, findState.searchText);
    CheckDlgButton(dialog, IDC_FIND_MATCH_CASE, (findState.optionFlags & FR_MATCHCASE) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_FIND_WHOLE_WORD, (findState.optionFlags & FR_WHOLEWORD) ? BST_CHECKED : BST_UNCHECKED);
}

void AcceptFindDialog(HWND dialog)
{
    GetDlgItemTextA(dialog, IDC_FIND_TEXT, findState.searchText, sizeof findState.searchText);
    findState.optionFlags = 0;
    if (IsDlgButtonChecked(dialog, IDC_FIND_MATCH_CASE) == BST_CHECKED)
        findState.optionFlags |= FR_MATCHCASE;
    if (IsDlgButtonChecked(dialog, IDC_FIND_WHOLE_WORD) == BST_CHECKED)
        findState.optionFlags |= FR_WHOLEWORD;
}

// Escape's IDCANCEL is left unhandled on purpose: only the buttons and the
// close box end the dialog.
INT_PTR CALLBACK FindDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitFindDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_FIND_OK) {
            AcceptFindDialog(dialog);
            PostMessageA(dialog, WM_CLOSE, 0, 1);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_FIND_CANCEL) {
            PostMessageA(dialog, WM_CLOSE, 0, 0);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, lParam);
        return TRUE;
    }
    return FALSE;
}

void SelectMatch()
{
    LockOutput();
    SendMessageA(OutputWindow, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&findState.range.chrgText));
    SendMessageA(OutputWindow, EM_SCROLLCARET, 0, 0);
    UnlockOutput();
    SetFocus(OutputWindow);
}

}

void FindInOutput(HWND owner)
{
    if (DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FIND_OUTPUT), owner, FindDialogProcedure,
                        0) != 1)
        return;
    findState.range.chrg = {0, -1};
    findState.range.lpstrText = findState.searchText;
    findState.haveSearch = true;
    FindAgain(owner);
}

void FindAgain(HWND owner)
{
    if (!findState.haveSearch) {
        FindInOutput(owner);
        return;
    }
    LockOutput();
    const LRESULT found = SendMessageA(OutputWindow, EM_FINDTEXTEX, findState.optionFlags,
                                       reinterpret_cast<LPARAM>(&findState.range));
    UnlockOutput();
    if (found >= 0) {
        SelectMatch();
        findState.range.chrg.cpMin = findState.range.chrgText.cpMin + 1;
        return;
    }
    char text[SEARCH_TEXT_SIZE + 16];
    snprintf(text, sizeof text, "\"%s\" not found.", findState.searchText);
    ShowMessageBox(text, "Find in Output", MB_OK | MB_ICONINFORMATION);
}

void ResetFindState()
{
    findState.searchText[0] = '\0';
    findState.haveSearch = false;
}
